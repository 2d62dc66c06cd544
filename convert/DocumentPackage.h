#pragma once

#include <QString>

// A look inside a Writer document's package (a zip file), without the office.

// True when the document is protected by a password: its manifest describes how
// its parts are encrypted. False for anything that is no readable package.
bool IsPasswordProtected(const QString &path);
