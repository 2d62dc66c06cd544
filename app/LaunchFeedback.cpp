#include "app/LaunchFeedback.h"

#include <QGuiApplication>

#define SN_API_NOT_YET_FROZEN // the library's own guard for its headers
#include <libsn/sn.h>

namespace {

// The screen part of DISPLAY (":0.1" -> 1), whose root window gets the message.
int screenOfDisplay()
{
    const QByteArray display = qgetenv("DISPLAY");
    const QByteArray screen = display.mid(display.lastIndexOf(':') + 1).split('.').value(1);
    bool ok = false;
    const int number = screen.toInt(&ok);
    return ok ? number : 0;
}

} // namespace

LaunchFeedback LaunchFeedback::fromEnvironment()
{
    LaunchFeedback feedback;
    feedback.m_startupId = qgetenv("DESKTOP_STARTUP_ID");
    return feedback;
}

void LaunchFeedback::end() const
{
    if (m_startupId.isEmpty())
        return;
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    SnDisplay *display = sn_xcb_display_new(x11->connection(), nullptr, nullptr);
    SnLauncheeContext *context = sn_launchee_context_new(display, screenOfDisplay(), m_startupId.constData());
    sn_launchee_context_complete(context);
    sn_launchee_context_unref(context);
    sn_display_unref(display);
    xcb_flush(x11->connection());
}
