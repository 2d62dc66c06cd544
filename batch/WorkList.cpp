#include "batch/WorkList.h"

#include "convert/TargetName.h"
#include "input/FolderFileRules.h"
#include "input/FolderScan.h"
#include "input/UnreachedFolderWalk.h"
#include "util/AppError.h"
#include "util/PathHelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <optional>
#include <utility>

#include <sys/stat.h>

namespace {

bool hasWantedExtension(const QString &name, const QStringList &extensions)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 && extensions.contains(name.mid(dot + 1).toLower());
}

const QString kTooLong = QStringLiteral("its path is longer than the system allows (%1 bytes), so it cannot be "
                                        "opened.")
                             .arg(MaxPathBytes);

const QString kNotUtf8 = QStringLiteral("its path is not valid UTF-8, so this program cannot address it.");

QString reasonFor(const UnreachedPath &path)
{
    if (!path.error.isEmpty())
        return QStringLiteral("the folder could not be read: %1.").arg(path.error);
    if (path.path.size() >= MaxPathBytes)
        return kTooLong;
    return kNotUtf8;
}

// A file name that the walk would keep, given as the system spells it.
bool isWantedName(QByteArrayView name, const QStringList &extensions)
{
    const QString text = QFile::decodeName(name.toByteArray());
    return !IsLockFileName(text) && !IsHiddenFileName(text) && hasWantedExtension(text, extensions);
}

// The walk leaves out what it cannot reach by a path; the batch names each such
// document, walking on by descriptors below the folders it could not enter, and each
// folder it could not read.
void addFolderDocuments(const QString &root, const QStringList &extensions, Dialogs &dialogs, QStringList &found,
                        QList<FailedPath> &failed, const WalkStopped &stopped)
{
    const auto wanted = [&](QByteArrayView name) { return isWantedName(name, extensions); };
    const auto fail = [&](const UnreachedPath &path) { failed.append({path.path, reasonFor(path)}); };
    QList<UnreachedPath> unentered;
    FolderList folders{root.endsWith(PathSeparator()) ? root : root + PathSeparator()};
    GetSubDirectories2016(
        folders, true, dialogs, [&](const UnreachedPath &path) { unentered << path; }, stopped);
    for (const QString &entry : folders) {
        if (stopped && stopped())
            return;
        const QString folder = entry.chopped(1);
        const QByteArray folderPath = QFile::encodeName(entry);
        QStringList names;
        try {
            names = ListFolderFiles(folder, QStringLiteral("*.*"), [&](const QByteArray &name) {
                if (wanted(name))
                    fail({folderPath + name, QString()});
            });
        } catch (const AppError &error) {
            const bool known = std::any_of(unentered.cbegin(), unentered.cend(),
                                           [&](const UnreachedPath &path) { return path.path == folderPath; });
            if (!known)
                fail({folderPath, error.description()});
        }
        for (const QString &name : names) {
            if (!hasWantedExtension(name, extensions))
                continue;
            const QString row = FolderFileRow(folder, name);
            if (!row.isEmpty())
                found << row;
        }
    }
    for (const UnreachedPath &path : unentered) {
        if (path.error.isEmpty())
            WalkUnreachedFolder(path.path, wanted, fail, stopped);
        else
            fail(path);
    }
}

// The same text for every spelling of one file: its folder resolved (links, "..")
// and its own name as it is. Folders that do not exist are left as written. Each
// folder is resolved once: the documents of a tree share their folders.
class FileKeys {
public:
    QString operator()(const QString &path)
    {
        const QFileInfo info(path);
        const QString folder = info.absolutePath();
        auto resolved = m_folders.constFind(folder);
        if (resolved == m_folders.constEnd()) {
            const QString canonical = QFileInfo(folder).canonicalFilePath();
            resolved = m_folders.insert(folder, canonical.isEmpty() ? folder : canonical);
        }
        return *resolved + QLatin1Char('/') + info.fileName();
    }

private:
    QHash<QString, QString> m_folders; // as written -> resolved
};

// The file a path leads to, when it exists.
std::optional<std::pair<dev_t, ino_t>> fileIdentity(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return std::pair{info.st_dev, info.st_ino};
}

} // namespace

FailedPath UnaddressablePath(const QByteArray &path)
{
    return {path, kNotUtf8};
}

QString ReportClash(const QString &report, const WorkList &work, const QString &pathList)
{
    FileKeys fileKey;
    const QString key = fileKey(report);
    const QString name = QFileInfo(report).fileName();
    const auto identity = fileIdentity(report);
    // The name first: resolving a folder takes longer than comparing it.
    const auto same = [&](const QString &path) {
        if (path.isEmpty())
            return false;
        if (QFileInfo(path).fileName() == name && fileKey(path) == key)
            return true;
        return identity && fileIdentity(path) == identity;
    };
    if (pathList != QLatin1String("-") && same(pathList))
        return QStringLiteral("it is the list of paths to convert");
    for (const BatchDocument &document : work.documents) {
        if (same(document.source))
            return QStringLiteral("it is %1, a document to convert").arg(document.source);
        if (same(document.target))
            return QStringLiteral("it is the text file of %1").arg(document.source);
    }
    for (const SetAside &document : work.skipped) {
        if (same(document.path))
            return QStringLiteral("it is %1, a document to convert").arg(document.path);
    }
    return {};
}

QList<FoundDocument> CollectDocuments(const QStringList &paths, const QStringList &extensions, Dialogs &dialogs,
                                      QList<FailedPath> &failed, const WalkStopped &stopped)
{
    QList<FoundDocument> found;
    for (const QString &given : paths) {
        if (stopped && stopped())
            break;
        const QString path = QFileInfo(given).absoluteFilePath();
        if (QFile::encodeName(path).size() >= MaxPathBytes) {
            failed.append({QFile::encodeName(given), kTooLong});
        } else if (IsFolder(path)) {
            QStringList below;
            addFolderDocuments(path, extensions, dialogs, below, failed, stopped);
            for (const QString &document : std::as_const(below))
                found.append({document, path});
        } else if (IsExistingFile(path)) {
            found.append({path, QString()});
        } else if (QFileInfo::exists(path)) {
            failed.append({QFile::encodeName(given), QStringLiteral("it is neither a file nor a folder (a FIFO, a "
                                                                    "socket or a device), so it is not converted.")});
        } else {
            failed.append({QFile::encodeName(given), QStringLiteral("there is no such file or folder.")});
        }
    }
    return found;
}

QString MirroredFolder(const FoundDocument &document, const QString &currentFolder)
{
    const QString folder = QDir::cleanPath(QFileInfo(document.path).absolutePath());
    const QString base = QDir::cleanPath(document.root.isEmpty() ? currentFolder : document.root);
    if (folder == base)
        return {};
    const QString prefix = base.endsWith(QLatin1Char('/')) ? base : base + QLatin1Char('/');
    return folder.startsWith(prefix) ? folder.mid(prefix.size()) : QString();
}

WorkList PlanWork(const QList<FoundDocument> &documents, const QString &outDir, bool mirror)
{
    WorkList work;
    const Destination destination = outDir.isEmpty() ? Destination::SourceFolder : Destination::ChosenFolder;
    const QString folder = outDir.isEmpty() ? QString() : QFileInfo(outDir).absoluteFilePath();
    const QString currentFolder = QDir::currentPath();

    // Every document of the batch, by key, so that no text file replaces one.
    FileKeys fileKey;
    QHash<QString, QString> documentAt;
    for (const FoundDocument &found : documents)
        documentAt.insert(fileKey(found.path), found.path);

    QHash<QString, QString> targetOwner; // text file key -> the document that gives it
    QSet<QString> seen;
    for (const FoundDocument &found : documents) {
        const QString &document = found.path;
        const QString key = fileKey(document);
        if (seen.contains(key))
            continue; // named twice: once is enough
        seen.insert(key);

        const QString below = mirror ? MirroredFolder(found, currentFolder) : QString();
        const QString target =
            TargetPathOf(document, destination, below.isEmpty() ? folder : folder + QLatin1Char('/') + below);
        const QString targetKey = fileKey(target);
        if (targetKey == key) {
            work.skipped.append({document, QStringLiteral("its text file would replace the document itself."), target});
        } else if (const auto other = documentAt.constFind(targetKey); other != documentAt.constEnd()) {
            work.skipped.append({document, QStringLiteral("its text file %1 would replace %2, a document of this "
                                                          "batch.")
                                               .arg(target, *other),
                                 target});
        } else if (const auto owner = targetOwner.constFind(targetKey); owner != targetOwner.constEnd()) {
            work.skipped.append({document, QStringLiteral("its text file %1 is already the text file of %2.")
                                               .arg(target, *owner),
                                 target});
        } else {
            targetOwner.insert(targetKey, document);
            work.documents.append({document, target, QFileInfo(document).size()});
        }
    }
    std::stable_sort(work.documents.begin(), work.documents.end(),
                     [](const BatchDocument &a, const BatchDocument &b) { return a.size > b.size; });
    return work;
}
