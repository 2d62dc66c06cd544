#pragma once

#include "convert/OfficeBridge.h"
#include "util/AppError.h"

#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/uno/XInterface.hpp>

// An office object behind an OfficeRef. A service manager also carries the
// context its instances are created in. When its office is ended the handle lets
// go of the object (officeEnded).
struct UnoHandle final : OfficeObject {
    css::uno::Reference<css::uno::XInterface> object;
    css::uno::Reference<css::uno::XComponentContext> context;
    bool officeEnded = false;

    void release()
    {
        object.clear();
        context.clear();
        officeEnded = true;
    }
};

inline OfficeRef makeUnoHandle(const css::uno::Reference<css::uno::XInterface> &object,
                               const css::uno::Reference<css::uno::XComponentContext> &context = {})
{
    auto handle = std::make_shared<UnoHandle>();
    handle->object = object;
    handle->context = context;
    return handle;
}

// The handle behind `ref`; throws AppError naming `role` ("document") when there
// is none.
inline const UnoHandle &unoHandleOf(const OfficeRef &ref, const QString &role)
{
    const auto *handle = dynamic_cast<const UnoHandle *>(ref.get());
    if (handle && handle->officeEnded)
        throw AppError(QStringLiteral("The %1 belonged to an office that has been ended since.").arg(role));
    if (!handle || !handle->object.is())
        throw AppError(QStringLiteral("No %1 was given to the office.").arg(role));
    return *handle;
}

// Interface `I` of the object behind `ref`. Asking a dead office throws a UNO
// exception, so call this inside officeCall.
template <typename I>
css::uno::Reference<I> unoInterfaceOf(const OfficeRef &ref, const QString &role)
{
    css::uno::Reference<I> object(unoHandleOf(ref, role).object, css::uno::UNO_QUERY);
    if (!object.is())
        throw AppError(QStringLiteral("The object given to the office as the %1 is not one.").arg(role));
    return object;
}
