#pragma once

#include <QByteArray>

// The desktop's launch feedback for this start (a busy pointer, a "Starting
// Tarnwick" entry in the taskbar), which a launcher begins on X11 with a startup
// notification and hands over in DESKTOP_STARTUP_ID. A window that shows ends it;
// a start that hands its paths to the running window shows none, and ends it here.
class LaunchFeedback {
public:
    // The start's id, taken before the QApplication is made (Qt takes it away from
    // the environment then).
    static LaunchFeedback fromEnvironment();

    // Ends the sequence ("remove:", through libstartup-notification) on the X display
    // the application runs on. Nothing without an id, or on another platform.
    void end() const;

private:
    QByteArray m_startupId;
};
