#pragma once

#include <QProcessEnvironment>
#include <QString>

// The environment of a program a test starts without a window: no display at all
// (it must need none), and the user's folders in `home`, so that its offices and
// settings stay out of the real ones.
inline QProcessEnvironment HeadlessProgramEnvironment(const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("HOME"), home);
    for (const QString sub : {"cache", "config", "data"})
        environment.insert(QStringLiteral("XDG_%1_HOME").arg(sub.toUpper()), home + '/' + sub);
    return environment;
}
