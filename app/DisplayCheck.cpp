#include "app/DisplayCheck.h"

#include <dlfcn.h>

namespace {

// X's answer through libxcb, loaded only for this question.
bool xDisplayAnswers()
{
    void *xcb = ::dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (!xcb)
        return true;
    using Connect = void *(*)(const char *, int *);
    using HasError = int (*)(void *);
    using Disconnect = void (*)(void *);
    const auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
    bool answers = true;
    if (connect && hasError && disconnect) {
        void *connection = connect(nullptr, nullptr);
        answers = hasError(connection) == 0;
        disconnect(connection); // also frees a connection that failed
    }
    ::dlclose(xcb);
    return answers;
}

} // namespace

QString DisplayProblem()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM").section(QLatin1Char(':'), 0, 0);
    if (!platform.isEmpty() && platform != QLatin1String("xcb"))
        return {};
    if (platform.isEmpty() && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return {};
    const QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        return QStringLiteral("neither DISPLAY nor WAYLAND_DISPLAY is set");
    if (!xDisplayAnswers())
        return QStringLiteral("the X display %1 cannot be opened").arg(display);
    return {};
}

QString NoDisplayLine(const QString &problem)
{
    return QStringLiteral("tarnwick: the window needs a display, and none could be opened (%1); "
                          "tarnwick --convert converts without one (see tarnwick --help).\n")
        .arg(problem);
}
