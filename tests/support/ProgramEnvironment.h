#pragma once

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QString>

// The environment of a program a test starts without a window: no display at all
// (it must need none), and the user's folders in `home`, so that its offices and
// settings stay out of the real ones; its runtime folder (where the user's service
// listens) is home/run, private.
inline QProcessEnvironment HeadlessProgramEnvironment(const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("HOME"), home);
    for (const QString sub : {"cache", "config", "data"})
        environment.insert(QStringLiteral("XDG_%1_HOME").arg(sub.toUpper()), home + '/' + sub);
    QDir().mkpath(home + QStringLiteral("/run"));
    QFile::setPermissions(home + QStringLiteral("/run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
    return environment;
}
