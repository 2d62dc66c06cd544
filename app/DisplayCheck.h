#pragma once

#include <QString>

// Whether the window can have a display, asked before a QApplication exists (Qt
// aborts the program when it cannot open one). Empty when it can: Qt is told to
// use a platform that needs no display (offscreen, minimal, vnc...), a Wayland
// display is named, or the X display of DISPLAY accepts a connection (asked
// through libxcb, which Qt's own X platform uses; when libxcb cannot be loaded,
// Qt is left to try). Otherwise why not, in a few words.
QString DisplayProblem();

// The one line printed instead of the window when there is no display.
QString NoDisplayLine(const QString &problem);
