#include "util/PathHelpers.h"

#include "util/AppError.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

QChar PathSeparator()
{
    return QDir::separator();
}

QString FileNameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(PathSeparator()) + 1);
}

QString FolderOf(const QString &path)
{
    const qsizetype last = path.lastIndexOf(PathSeparator());
    return last < 0 ? QString() : path.left(last + 1);
}

namespace {

QString collapsePairs(QStringView text)
{
    const QChar sep = PathSeparator();
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == sep && i + 1 < text.size() && text[i + 1] == sep)
            ++i; // the second of the pair is dropped; the pass goes on after it
    }
    return out;
}

} // namespace

QString CollapseBackslashes(const QString &path)
{
    const QChar sep = PathSeparator();
    if (!path.startsWith(sep))
        return collapsePairs(path);

    qsizetype k = 1;
    while (k < path.size() && path[k] == sep)
        ++k;
#ifdef Q_OS_WIN
    const QString prefix = QStringLiteral("\\\\");
#else
    const QString prefix = QStringLiteral("/");
#endif
    return prefix + collapsePairs(QStringView(path).mid(k));
}

bool IsFolder(const QString &path)
{
    if (path.isEmpty())
        return false;
    return QFileInfo(path).isDir();
}

bool FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

QString GetDesktopFolder()
{
    // The desktop of the XDG user directories when it is there; an account without
    // one (no xdg-user-dirs, a server, a minimal desktop) gets its home folder, so
    // that the first run has a folder to write into. Nothing is made uninvited.
    QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty() || !QFileInfo(desktop).isDir())
        desktop = QDir::homePath();
    if (desktop.isEmpty())
        throw AppError(QStringLiteral("The desktop folder of this user cannot be found."));
    desktop = QDir::toNativeSeparators(desktop);
    while (desktop.endsWith(PathSeparator()) && desktop.size() > 1)
        desktop.chop(1);
    if (desktop.endsWith(PathSeparator())) // the root folder itself
        return desktop;
    return desktop + PathSeparator();
}

QString ProgramFolder()
{
    QString folder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    if (!folder.endsWith(PathSeparator()))
        folder += PathSeparator();
    return folder;
}

bool IsUtf8(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    [[maybe_unused]] const QString text = utf8.decode(bytes);
    return !utf8.hasError();
}

QString OwnRuntimeFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat info {};
    if (runtime.startsWith('/') && ::stat(runtime.constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && info.st_uid == ::geteuid())
        return QFile::decodeName(runtime);
    return {};
}

void ForgetForeignRuntimeFolder()
{
    if (OwnRuntimeFolder().isEmpty())
        ::unsetenv("XDG_RUNTIME_DIR");
}
