#pragma once

#include "convert/OfficeBridge.h"

#include <com/sun/star/uno/Any.hxx>

// The dispatch helper does not throw when the office refuses a command: it
// returns a result saying so, and for a refused save writes nothing. These turn
// such outcomes into AppError.

// Throws unless `result` (of executeDispatch) reports success.
void checkDispatchResult(const css::uno::Any &result, OfficeCommand command,
                         const QList<PropertyValue> &arguments);

// The Url argument of a save; throws AppError when it has none.
QString saveTargetOf(const QList<PropertyValue> &arguments);

// For a save: throws unless the file named by the Url argument exists.
void checkSavedFileExists(const QList<PropertyValue> &arguments);
