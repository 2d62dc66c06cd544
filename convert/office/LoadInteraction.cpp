#include "convert/office/LoadInteraction.h"

#include <com/sun/star/document/FilterOptionsRequest.hpp>
#include <com/sun/star/document/LockedDocumentRequest.hpp>
#include <com/sun/star/document/XInteractionFilterOptions.hpp>
#include <com/sun/star/task/DocumentPasswordRequest.hpp>
#include <com/sun/star/task/DocumentPasswordRequest2.hpp>
#include <com/sun/star/task/ErrorCodeRequest.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionApprove.hpp>

namespace {

// The office's error codes mark a warning with their highest bit.
constexpr sal_Int32 kWarningBit = sal_Int32(0x80000000u);

template <typename Continuation>
css::uno::Reference<Continuation>
continuationOf(const css::uno::Sequence<css::uno::Reference<css::task::XInteractionContinuation>> &continuations)
{
    for (const auto &continuation : continuations) {
        css::uno::Reference<Continuation> wanted(continuation, css::uno::UNO_QUERY);
        if (wanted.is())
            return wanted;
    }
    return {};
}

template <typename Continuation>
bool select(const css::uno::Sequence<css::uno::Reference<css::task::XInteractionContinuation>> &continuations)
{
    const auto chosen = continuationOf<Continuation>(continuations);
    if (chosen.is())
        chosen->select();
    return chosen.is();
}

} // namespace

void LoadInteraction::handle(const css::uno::Reference<css::task::XInteractionRequest> &request)
{
    const css::uno::Any asked = request->getRequest();
    const auto continuations = request->getContinuations();
    using css::task::XInteractionAbort;
    using css::task::XInteractionApprove;

    if (asked.isExtractableTo(cppu::UnoType<css::task::DocumentPasswordRequest>::get())
        || asked.isExtractableTo(cppu::UnoType<css::task::DocumentPasswordRequest2>::get())) {
        m_askedForPassword = true;
        select<XInteractionAbort>(continuations);
        return;
    }
    // What the office chooses for itself when nobody can be asked: warnings are
    // let pass, a locked document is opened read-only, a filter keeps its default
    // options; everything else ends the load.
    css::task::ErrorCodeRequest error;
    if (asked >>= error) {
        if (!((error.ErrCode & kWarningBit) != 0 && select<XInteractionApprove>(continuations)))
            select<XInteractionAbort>(continuations);
        return;
    }
    if (asked.isExtractableTo(cppu::UnoType<css::document::LockedDocumentRequest>::get())) {
        if (!select<XInteractionApprove>(continuations))
            select<XInteractionAbort>(continuations);
        return;
    }
    if (asked.isExtractableTo(cppu::UnoType<css::document::FilterOptionsRequest>::get())) {
        select<css::document::XInteractionFilterOptions>(continuations);
        return;
    }
    select<XInteractionAbort>(continuations);
}
