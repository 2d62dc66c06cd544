#pragma once

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
// the old text file stays as it was.

// The text files one run has written.
class RunTextFiles {
public:
    // Throws AppError, naming the target, when it must not be written from `source`.
    // A text file this run wrote from the same document may be written again (the
    // document listed twice, or tried again after its office ended past its save).
    void checkTarget(const QString &target, const QString &source) const;

    // Makes `temporary` (saved from `source`) the text file `target`: throws AppError
    // when the save is not whole or the target may not be replaced; the temporary
    // file is then left for its owner to remove. Records the target as written.
    void commit(const QString &temporary, const QString &target, const QString &source);

private:
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

// The file a save of `target` goes into: created empty and private when constructed
// (throws AppError naming the target when it cannot be), removed when destroyed
// unless it became the target. It holds a lock on the file all that time, which
// tells RemoveStaleTemporaryFiles that its writer is alive.
class TemporaryTextFile {
public:
    TemporaryTextFile(QString path, const QString &target);
    ~TemporaryTextFile();
    TemporaryTextFile(const TemporaryTextFile &) = delete;
    TemporaryTextFile &operator=(const TemporaryTextFile &) = delete;

    const QString &path() const { return m_path; }
    // Runs `save`, the office's save into this file. The office's messages name the
    // file it was given, this hidden one, which is gone again after a failure: they
    // are told with the text file's name instead.
    template <class Save>
    void saveBy(Save &&save)
    {
        try {
            save();
        } catch (AppError &error) {
            error.replaceName(m_path, m_target);
            throw;
        }
    }
    // Commits through `files`; on success the file is no longer this object's.
    void commitAs(RunTextFiles &files, const QString &target, const QString &source);

private:
    QString m_path;
    QString m_target;
    bool m_owned = true;
    int m_lock = -1; // the file, open and locked
};
