#include "batch/TargetFolders.h"

#include "util/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cerrno>
#include <sys/stat.h>

namespace {

// Why no text file can go into `folder` once its parent is there; empty when it can.
QString makeFolder(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0777) == 0)
        return {};
    const int error = errno;
    struct stat info {};
    if (error == EEXIST && ::lstat(path.constData(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return {};
        if (S_ISLNK(info.st_mode))
            return QStringLiteral("the folder %1 of its text file is a symbolic link; nothing is written through it.")
                .arg(folder);
        return QStringLiteral("%1 is not a folder, so its text file cannot go there.").arg(folder);
    }
    return QStringLiteral("the folder %1 of its text file could not be made: %2.").arg(folder, SystemErrorText(error));
}

// The folders made, or found, below one output folder, each asked of the system once.
class FolderMaker {
public:
    explicit FolderMaker(QString outDir) : m_outDir(std::move(outDir)) {}

    // Why no text file can go into `folder` (below the output folder); empty when it can.
    QString make(const QString &folder)
    {
        if (folder == m_outDir || !folder.startsWith(m_outDir + QLatin1Char('/')))
            return {}; // the output folder itself, checked by the run
        if (const auto known = m_reasons.constFind(folder); known != m_reasons.constEnd())
            return *known;
        QString reason = make(folder.left(folder.lastIndexOf(QLatin1Char('/'))));
        if (reason.isEmpty())
            reason = makeFolder(folder);
        m_reasons.insert(folder, reason);
        return reason;
    }

private:
    QString m_outDir;
    QHash<QString, QString> m_reasons; // folder -> why not, or empty
};

} // namespace

void MakeTargetFolders(WorkList &work, const QString &outDir)
{
    FolderMaker folders(QDir::cleanPath(QFileInfo(outDir).absoluteFilePath()));
    QList<BatchDocument> kept;
    kept.reserve(work.documents.size());
    for (const BatchDocument &document : std::as_const(work.documents)) {
        const QString reason = folders.make(QDir::cleanPath(QFileInfo(document.target).absolutePath()));
        if (reason.isEmpty())
            kept.append(document);
        else
            work.failed.append({document.source, reason, document.target});
    }
    work.documents = std::move(kept);
}
