#pragma once

#include "util/SystemError.h"

#include <QString>
#include <sys/types.h>

// The folder a text file goes into, as one save acts on it: opened once, never
// through a link, and checked; the save's hidden file is then made, written and
// renamed relative to the descriptor alone, so that a folder moved, or swapped for a
// link, after the check gets nothing through its old name.
//
// A text file never goes where someone other than its document's owner (or the
// user converting) could swap it or read it. So it goes only into:
// - a folder of the user's own;
// - root's folder that nobody else may change: without write permission for
//   others, or with the sticky bit (as /tmp), where nobody may remove or replace
//   another user's files;
// - a folder of the document's owner: the document's own folder, whoever else
//   may write in it (they could change the document as well: a group's shared
//   folder, one writable through an ACL), or another that nobody else may change.
// Another user could swap a folder of theirs, or the texts in it, at any time.

// Whose text goes into a folder: the document's owner and its folder.
struct TextOf {
    uid_t owner = uid_t(-1);
    dev_t folderDevice = 0;
    ino_t folderInode = 0;
    // The document at `path` (not found: nobody's).
    static TextOf document(const QString &path);
};

class TargetFolder {
public:
    enum class Missing { Refuse, Make };


    // Opens `folder`. Below `tree` (the output folder of a mirrored tree) the walk goes
    // down from `tree` one folder at a time and never through a link; with
    // Missing::Make, each missing folder is made as mkdir makes it (the umask decides).
    // A folder the user named (`tree`, or `folder` when it is not below `tree`) may be
    // reached through links of the user's own or root's, not through another user's.
    // Throws AppError, naming the folder and why, when no text file may go there.
    static TargetFolder open(const QString &folder, const QString &tree = {}, Missing missing = Missing::Refuse,
                             const TextOf &text = {});

    int descriptor() const { return m_fd.get(); }
    // The folder's path, as the user knows it.
    const QString &path() const { return m_path; }
    // The folder's path through the descriptor (/proc/self/fd/N): the system finds
    // the folder by the descriptor, not by its name, for as long as this object lives.
    QString boundPath() const;
    // Throws AppError unless path() still leads to this folder.
    void requireStillNamed() const;
    // The folder's owner.
    uid_t owner() const;

private:
    TargetFolder(FileDescriptor fd, QString path) : m_fd(std::move(fd)), m_path(std::move(path)) {}
    TargetFolder below(const QString &name, Missing missing, const TextOf &text) const;

    FileDescriptor m_fd;
    QString m_path;
};
