#pragma once

#include "convert/OfficeBridge.h"

#include <com/sun/star/uno/Any.hxx>

// The dispatch helper does not throw when the office refuses a command: it
// returns a result saying so, and for a refused save writes nothing. These turn
// such outcomes into AppError.

// Throws unless `result` (of executeDispatch) reports success.
void checkDispatchResult(const css::uno::Any &result, const QString &command,
                         const QList<PropertyValue> &arguments);

// For ".uno:SaveAs": throws unless the file named by the "URL" argument exists.
void checkSavedFileExists(const QList<PropertyValue> &arguments);
