#pragma once

#include "convert/office/OfficeProcess.h"
#include "convert/office/OfficeProfile.h"
#include "convert/office/UnoOfficeOptions.h"

#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>

// The connection to the private office, over a named pipe (a TCP port would let
// anyone on the machine drive the office). A live connection is reused; an office
// that has died is started again.
class OfficeConnection {
public:
    explicit OfficeConnection(UnoOfficeOptions options);
    ~OfficeConnection();

    // The office's component context. Throws AppError when the office cannot be
    // found, started or reached.
    css::uno::Reference<css::uno::XComponentContext> context();
    qint64 processId() const { return m_process.processId(); }
    void shutdown();

private:
    bool answers();
    void startAndConnect();
    bool tryConnect(const css::uno::Reference<css::uno::XComponentContext> &local, const QString &pipe);

    UnoOfficeOptions m_options;
    OfficeProfile m_profile;
    OfficeProcess m_process;
    QString m_pipe;
    css::uno::Reference<css::uno::XComponentContext> m_remote;
};
