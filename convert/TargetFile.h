#pragma once

#include "convert/TargetFolder.h"
#include "util/AppError.h"

#include <QString>
#include <map>
#include <sys/types.h>
#include <utility>

// Writing text files without endangering what is already there.
//
// A target is refused when it is a symbolic link (the office would write through it),
// is not a plain file, cannot be written by this user, or was written earlier in the
// same run from another document. An accepted target is never written in place: the
// office saves into a new file beside it, and only a save that is whole replaces the
// target, by a rename in the same folder. A failed or cut-short save is removed and
// the old text file stays as it was. All of it happens in the target's folder as
// opened and checked once (see TargetFolder).

class TemporaryTextFile;

// The text files one run has written.
class RunTextFiles {
public:
    // `tree`: the output folder of a mirrored tree, whose folders are walked down
    // from it and never through a link (see TargetFolder::open); none otherwise.
    explicit RunTextFiles(QString tree = {}) : m_tree(std::move(tree)) {}

    // Throws AppError, naming the target, when it must not be written from `source`.
    // A text file this run wrote from the same document may be written again (the
    // document listed twice, or tried again after its office ended past its save).
    void checkTarget(const QString &target, const QString &source) const;

    // The folder of `target`, opened and checked for a save of `source`'s text
    // (throws AppError).
    TargetFolder openFolderOf(const QString &target, const QString &source) const;

    // Makes `saved` (saved from `source`) the text file `target` of its folder: throws
    // AppError when the save is not whole, the target may not be replaced or the
    // folder is no longer where it was; the hidden file is then left for its owner
    // to remove. Records the target as written. Root's text in a folder of the
    // document's owner is that user's, like the document.
    void commit(const TemporaryTextFile &saved, const QString &target, const QString &source);

private:
    void checkEntry(int folder, const QByteArray &name, const QString &target, const QString &source) const;

    QString m_tree;
    std::map<std::pair<dev_t, ino_t>, QString> m_written; // file -> the document it came from
};

// A new, hidden, unguessable name in the target's folder for the office to save into.
QString TemporaryNameFor(const QString &target);
// True for a name that TemporaryNameFor gives.
bool IsTemporaryTextFileName(const QString &path);

// Removes from `folder` the files a save left when its program was killed (SIGKILL,
// the OOM killer) and could not remove them: plain files of this user with a name
// TemporaryNameFor gives that no program is writing (none holds the lock every
// TemporaryTextFile holds) and that have not been written for a moment (a new
// one is locked just after it is made). Returns how many it removed.
int RemoveStaleTemporaryFiles(const QString &folder);

// The file a save of `target` goes into, in the target's opened `folder` (under
// `name`, a name TemporaryNameFor gives, or a new one): created empty and private
// when constructed (throws AppError naming the target when it cannot be), removed
// when destroyed unless it became the target. It holds a lock on the file all that
// time, which tells RemoveStaleTemporaryFiles that its writer is alive.
class TemporaryTextFile {
public:
    TemporaryTextFile(TargetFolder folder, const QString &target, const QString &name = {});
    ~TemporaryTextFile();
    TemporaryTextFile(const TemporaryTextFile &) = delete;
    TemporaryTextFile &operator=(const TemporaryTextFile &) = delete;

    // The file's path through its folder's descriptor, for the office to save into:
    // whatever is put in the folder's place meanwhile, the save goes into the folder
    // as it was checked.
    const QString &path() const { return m_path; }
    const TargetFolder &folder() const { return m_folder; }
    const QString &name() const { return m_name; }
    // The file, open for writing.
    int descriptor() const { return m_lock; }
    // Runs `save`, the office's save into this file. The office's messages name the
    // file it was given, this hidden one, which is gone again after a failure: they
    // are told with the text file's name (and its folder's) instead.
    template <class Save>
    void saveBy(Save &&save)
    {
        try {
            save();
        } catch (AppError &error) {
            error.replaceName(m_path, m_target);
            error.replaceName(m_folder.boundPath(), m_folder.path());
            throw;
        }
    }
    // Commits through `files`; on success the file is no longer this object's.
    void commitAs(RunTextFiles &files, const QString &target, const QString &source);

private:
    TargetFolder m_folder;
    QString m_name;
    QString m_path;
    QString m_target;
    bool m_owned = true;
    int m_lock = -1; // the file, open and locked
};
