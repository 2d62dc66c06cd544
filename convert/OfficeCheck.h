#pragma once

#include "core/Dialogs.h"
#include "convert/OfficeBridge.h"

// The message shown when the office suite cannot be reached.
QString OfficeMissingText();

// Makes sure the office suite can be reached. When it cannot, prints the reason on
// stderr, tells the user (offering its download page, or saying why it was refused
// and what to do) and returns false: the program must then end without showing its
// window.
bool CheckOfficeSuite(OfficeBridge &office, Dialogs &dialogs, const QString &applicationTitle);
