#include "batch/MirroredFolders.h"

#include "convert/TargetFolder.h"
#include "util/AppError.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

void MakeMirroredFolders(WorkList &work, const QString &outDir)
{
    const QString tree = QDir::cleanPath(QFileInfo(outDir).absoluteFilePath());
    // folder and the document's owner -> why no text file may go there, or empty
    QHash<QString, QString> reasons;
    QList<BatchDocument> kept;
    kept.reserve(work.documents.size());
    for (const BatchDocument &document : std::as_const(work.documents)) {
        const QString folder = QDir::cleanPath(QFileInfo(document.target).absolutePath());
        const TextOf owner = TextOf::document(document.source);
        const QString key = folder + QLatin1Char('\n') + QString::number(owner.owner);
        if (!reasons.contains(key) && folder.startsWith(tree + QLatin1Char('/'))) {
            try {
                TargetFolder::open(folder, tree, TargetFolder::Missing::Make, owner);
                reasons.insert(key, {});
            } catch (const AppError &error) {
                QString reason = error.description();
                reason[0] = reason[0].toLower(); // told after the document's name
                reasons.insert(key, reason);
            }
        }
        if (const QString reason = reasons.value(key); reason.isEmpty())
            kept.append(document);
        else
            work.failed.append({document.source, reason, document.target});
    }
    work.documents = std::move(kept);
}
