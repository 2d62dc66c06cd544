#pragma once

#include "core/Dialogs.h"
#include "input/UnreachedPath.h"

#include <QList>
#include <QString>
#include <QStringList>

// One document of the batch and the text file it becomes.
struct BatchDocument {
    QString source; // absolute path
    QString target; // absolute path of the text file
    qint64 size = 0;
};

// A path of the batch that gives no text file, and why, in plain words.
struct SetAside {
    QString path;
    QString reason;
    QString target; // the text file it would have given, when known
};

// A path that fails before any work: it does not exist, or the folder walk cannot
// reach it. Kept as the system spells it, which need not be valid UTF-8.
struct FailedPath {
    QByteArray path;
    QString reason;
};

// A document as the batch found it: its absolute path, and the folder named for the
// batch below which the walk found it (empty for a document named itself).
struct FoundDocument {
    QString path;
    QString root;
};

struct WorkList {
    QList<BatchDocument> documents; // largest first
    QList<SetAside> failed;         // documents whose text file cannot be written
    QList<SetAside> skipped;        // documents whose text file may not be written
};

// The documents named by `paths`, in the order given: a file is taken as it is; a
// folder is walked with the whole-folder add's rules (see FolderScan.h and
// FolderFileRules.h), keeping the files whose extension is in `extensions` (lower
// case); the walk itself leaves out the Trash. What cannot be taken goes to `failed`:
// a path that does not exist or is too long, every document below a folder whose
// path is too long or not valid UTF-8 (found by WalkUnreachedFolder), every document
// whose own path is, and every folder that could not be read. With `stopped`, the
// walk ends early once it says so (asked once per folder), with what it found.
QList<FoundDocument> CollectDocuments(const QStringList &paths, const QStringList &extensions, Dialogs &dialogs,
                                      QList<FailedPath> &failed, const WalkStopped &stopped = {});

// The text file of every document (into `outDir`, or beside the document when it is
// empty), with the documents that may not be written set aside: a text file that
// would replace its own document or another document of the batch, or that an
// earlier document (in the order given) already gives. The same document named
// twice is converted once. The rest is sorted largest first, so that the longest
// document does not start last.
//
// With `mirror`, a text file goes below `outDir` at its document's place in the tree
// (see MirroredFolder); its folders are not made here (see MakeMirroredFolders).
WorkList PlanWork(const QList<FoundDocument> &documents, const QString &outDir, bool mirror = false);

// The folder below the output folder that a mirrored tree gives `document`, relative
// to it ("" for the output folder itself): the document's folder relative to its root
// when it has one, else relative to `currentFolder` when it lies below that, else "".
QString MirroredFolder(const FoundDocument &document, const QString &currentFolder);

// A path given as bytes that are not valid UTF-8 (on the command line, in a list),
// named as the walk names the ones it finds.
FailedPath UnaddressablePath(const QByteArray &path);

// Why the report file `report` may not be written when it is one of the batch's
// own files: a document of it (set aside ones included), a text file it writes or
// keeps (asked before --update takes out the ones up to date), or the list of paths
// `pathList` ("-" is none); empty when it is none. Compared by what the names lead
// to, so another spelling of one file is found.
QString ReportClash(const QString &report, const WorkList &work, const QString &pathList);
