#include "batch/WorkList.h"

#include "convert/TargetName.h"
#include "input/FolderFileRules.h"
#include "input/FolderScan.h"
#include "util/AppError.h"
#include "util/PathHelpers.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>

namespace {

bool hasWantedExtension(const QString &name, const QStringList &extensions)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 && extensions.contains(name.mid(dot + 1).toLower());
}

void addFolderDocuments(const QString &root, const QStringList &extensions, Dialogs &dialogs, QStringList &found)
{
    FolderList folders{root.endsWith(PathSeparator()) ? root : root + PathSeparator()};
    GetSubDirectories2016(folders, true, dialogs);
    for (const QString &entry : folders) {
        const QString folder = entry.chopped(1);
        QStringList names;
        try {
            names = ListFolderFiles(folder, QStringLiteral("*.*"));
        } catch (const AppError &error) {
            dialogs.message(error.description(), QString(), Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation);
        }
        for (const QString &name : names) {
            if (!hasWantedExtension(name, extensions))
                continue;
            const QString row = FolderFileRow(folder, name);
            if (!row.isEmpty())
                found << row;
        }
    }
}

// The same text for every spelling of one file: its folder resolved (links, "..")
// and its own name as it is. Folders that do not exist are left as written.
QString fileKey(const QString &path)
{
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName();
}

} // namespace

QStringList CollectDocuments(const QStringList &paths, const QStringList &extensions, Dialogs &dialogs,
                             QList<SetAside> &missing)
{
    QStringList found;
    for (const QString &given : paths) {
        const QString path = QFileInfo(given).absoluteFilePath();
        if (IsFolder(path))
            addFolderDocuments(path, extensions, dialogs, found);
        else if (IsExistingFile(path))
            found << path;
        else
            missing.append({given, QStringLiteral("there is no such file or folder.")});
    }
    return found;
}

WorkList PlanWork(const QStringList &documents, const QString &outDir)
{
    WorkList work;
    const Destination destination = outDir.isEmpty() ? Destination::SourceFolder : Destination::ChosenFolder;
    const QString folder = outDir.isEmpty() ? QString() : QFileInfo(outDir).absoluteFilePath();

    // Every document of the batch, by key, so that no text file replaces one.
    QHash<QString, QString> documentAt;
    for (const QString &document : documents)
        documentAt.insert(fileKey(document), document);

    QHash<QString, QString> targetOwner; // text file key -> the document that gives it
    QSet<QString> seen;
    for (const QString &document : documents) {
        const QString key = fileKey(document);
        if (seen.contains(key))
            continue; // named twice: once is enough
        seen.insert(key);

        const QString target = TargetPathOf(document, destination, folder);
        const QString targetKey = fileKey(target);
        if (targetKey == key) {
            work.skipped.append({document, QStringLiteral("its text file would replace the document itself.")});
        } else if (const auto other = documentAt.constFind(targetKey); other != documentAt.constEnd()) {
            work.skipped.append({document, QStringLiteral("its text file %1 would replace %2, a document of this "
                                                          "batch.")
                                               .arg(target, *other)});
        } else if (const auto owner = targetOwner.constFind(targetKey); owner != targetOwner.constEnd()) {
            work.skipped.append({document, QStringLiteral("its text file %1 is already the text file of %2.")
                                               .arg(target, *owner)});
        } else {
            targetOwner.insert(targetKey, document);
            work.documents.append({document, target, QFileInfo(document).size()});
        }
    }
    std::stable_sort(work.documents.begin(), work.documents.end(),
                     [](const BatchDocument &a, const BatchDocument &b) { return a.size > b.size; });
    return work;
}
