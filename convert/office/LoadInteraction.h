#pragma once

#include <atomic>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <cppuhelper/implbase1.hxx>

// The interaction handler given to every load. The office asks it whatever it
// would ask a person (a password, a locked document, a damaged file); it answers
// as the office answers for itself when a load has no handler and no window, but
// it remembers whether a password was asked for: the office's own reason why a
// document did not load, which the load's error alone does not tell.
//
// The office calls it on a thread of the connection, while the load waits.
class LoadInteraction final : public cppu::WeakImplHelper1<css::task::XInteractionHandler> {
public:
    void SAL_CALL handle(const css::uno::Reference<css::task::XInteractionRequest> &request) override;

    // True once the office has asked for a password (and was told no).
    bool askedForPassword() const { return m_askedForPassword.load(); }

private:
    std::atomic<bool> m_askedForPassword{false};
};
