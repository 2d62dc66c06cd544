#include "batch/MirroredFolders.h"

#include "convert/TargetFolder.h"
#include "util/AppError.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

void MakeMirroredFolders(WorkList &work, const QString &outDir)
{
    const QString tree = QDir::cleanPath(QFileInfo(outDir).absoluteFilePath());
    QHash<QString, QString> reasons; // folder -> why no text file may go there, or empty
    QList<BatchDocument> kept;
    kept.reserve(work.documents.size());
    for (const BatchDocument &document : std::as_const(work.documents)) {
        const QString folder = QDir::cleanPath(QFileInfo(document.target).absolutePath());
        if (!reasons.contains(folder) && folder.startsWith(tree + QLatin1Char('/'))) {
            try {
                TargetFolder::open(folder, tree, TargetFolder::Missing::Make);
                reasons.insert(folder, {});
            } catch (const AppError &error) {
                QString reason = error.description();
                reason[0] = reason[0].toLower(); // told after the document's name
                reasons.insert(folder, reason);
            }
        }
        if (const QString reason = reasons.value(folder); reason.isEmpty())
            kept.append(document);
        else
            work.failed.append({document.source, reason, document.target});
    }
    work.documents = std::move(kept);
}
