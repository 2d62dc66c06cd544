#pragma once

#include "convert/OfficeBridge.h"

#include <com/sun/star/uno/Any.hxx>

// The dispatch helper does not throw when the office refuses a command: it
// returns a result saying so, and for a refused save writes nothing. These turn
// such outcomes into AppError.

// Throws unless `result` (of executeDispatch) reports success.
void checkDispatchResult(const css::uno::Any &result, OfficeCommand command,
                         const QList<PropertyValue> &arguments);

// For a save that wrote no byte: throws unless `result` reports it done. An empty
// text is a text (a document of pictures alone gives one), but only the office's word
// tells it from a save that was never made.
void checkEmptySaveDone(const css::uno::Any &result, const QList<PropertyValue> &arguments);

// The Url argument of a save; throws AppError when it has none.
QString saveTargetOf(const QList<PropertyValue> &arguments);

// For a save: throws unless the file named by the Url argument exists.
void checkSavedFileExists(const QList<PropertyValue> &arguments);
