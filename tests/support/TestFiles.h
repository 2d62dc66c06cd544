#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryFile>
#include <cstdio>
#include <functional>
#include <unistd.h>

// Files the tests write and read back. Writing makes the folders on the way and
// stops the test program when it cannot write; reading a file that is not there
// gives "<missing>", so that a comparison names what went wrong.

inline QString writeFile(const QString &path, const QByteArray &content = "x")
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

inline QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline QString readText(const QString &path)
{
    return QString::fromUtf8(readBytes(path));
}

// What `act` writes to the standard error stream (which is taken away for the while).
inline QByteArray standardErrorOf(const std::function<void()> &act)
{
    QTemporaryFile capture;
    if (!capture.open())
        qFatal("cannot make a file for the standard error stream");
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(capture.handle(), STDERR_FILENO);
    act();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    return readBytes(capture.fileName());
}
