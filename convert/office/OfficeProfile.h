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
//
// The office names its single-instance pipe in the shared /tmp after its profile's
// path: a name that never changed would let another user take it beforehand (an
// empty file there stops every office of the profile from starting) or listen on
// it. So the office's profile is a folder inside the claimed one whose name is
// chosen at random for each start (renamed, so nothing in it is lost).
class OfficeProfile {
public:
    // <per-user cache>/tarnwick/office-profile
    static QString defaultFolder();

    // Claims a folder (kept until this object is destroyed) and returns it.
    // Throws AppError when none can be claimed.
    QString claim(const QString &base);

    // Gives the office's profile, inside the claimed folder, a new name chosen at
    // random, and returns it; the first time, a profile kept directly in the
    // claimed folder is moved into it. Throws AppError when it cannot.
    QString renewInstallation();
    // The last name renewInstallation() gave; empty before.
    const QString &installation() const { return m_installation; }
    // The name the profile had before the last renewInstallation(), which an office
    // of an earlier run may have used; empty when there was none.
    const QString &previousInstallation() const { return m_previousInstallation; }

    // The office's own temporary folder (TMPDIR), beside the claimed profile: a
    // killed office leaves copies of documents there. Empty before a claim.
    QString temporaryFolder() const;
    // Removes everything in it without following links, and makes it (mode 0700)
    // when it is missing. Throws AppError when it cannot.
    void emptyTemporaryFolder();

private:
    std::unique_ptr<QLockFile> m_lock;
    QString m_folder;
    QString m_installation;
    QString m_previousInstallation;
};
