#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

// The user profile folder of the private office. A second office on a profile
// that is in use hands its arguments to the first and exits, so each running
// program claims a folder of its own: `base`, or `base`-2, -3... when another
// running program holds it. The folders are made (mode 0700, lock files 0600) or
// checked to be private before each use, the cache folder above them too; one that
// is not is refused (RefusalError), never used, emptied or changed.
class OfficeProfile {
public:
    // <per-user cache>/tarnwick/office-profile
    static QString defaultFolder();

    // Claims a folder (kept until this object is destroyed) and returns it.
    // Throws AppError when none can be claimed.
    QString claim(const QString &base);

    // The office's own temporary folder (TMPDIR), beside the claimed profile: a
    // killed office leaves copies of documents there. Empty before a claim.
    QString temporaryFolder() const;
    // Removes everything in it without following links, and makes it (mode 0700)
    // when it is missing. Throws AppError when it cannot.
    void emptyTemporaryFolder();

private:
    std::unique_ptr<QLockFile> m_lock;
    QString m_folder;
};
