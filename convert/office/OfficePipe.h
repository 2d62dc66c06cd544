#pragma once

#include <QString>

// The named pipe the private office listens on. The office makes its socket at
// /tmp/OSL_PIPE_<uid>_<name> (/var/tmp when /tmp cannot be written), and this
// process connects by the same rule, leaving out "<uid>_" where its id has no
// account. The name given to the office ends in a folder of ours that only this
// user may enter, so nobody else can connect, whatever mode the office gives the
// socket, nor put a socket of theirs in its place; and the folder's name is
// unguessable.
class OfficePipe {
public:
    // Makes the pipe's private folder. Throws AppError when it cannot.
    OfficePipe();
    // Removes the folder with whatever a killed office left in it.
    ~OfficePipe();
    OfficePipe(const OfficePipe &) = delete;
    OfficePipe &operator=(const OfficePipe &) = delete;

    // The name in the office's --accept, for an office whose id has an account.
    QString officeName() const;
    // The name this process connects to.
    QString connectName() const;
    QString socketPath() const;
    // True when the socket exists and belongs to this user; throws AppError when
    // something else is there.
    bool isOwnSocket() const;

    // Removes the pipes of programs of this user that are no longer running.
    static void removeLeftoversOfEndedPrograms();

    // Where the office puts its single-instance pipe for the profile at the file URL
    // `installationUrl`: <tmp>/OSL_PIPE_<uid>_SingleOfficeIPC_<MD5 of the URL's
    // UTF-16>. An office ended by a signal leaves it behind.
    static QString singleInstancePipePath(const QString &installationUrl);
    // Removes that pipe when it is a socket of this user's; call once its office
    // has ended.
    static void removeSingleInstancePipe(const QString &installationUrl);

private:
    QString m_folder; // <tmp>/OSL_PIPE_<uid>_tarnwick_<pid>_<random>
};
