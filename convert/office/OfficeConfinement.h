#pragma once

#include "util/SystemError.h"

#include <QList>
#include <QString>
#include <QStringList>

// Every office runs inside bubblewrap: namespaces of its own for users, processes,
// network, IPC and host name, a file system of its own that holds only what an
// office needs (its installation, fonts and configuration, read-only) and the
// folders it works in (profile, temporary folder, pipe folder), no_new_privs, no
// capabilities, and a seccomp filter (SyscallFilter.h). Documents are never put
// in there: the program reads each one and hands the office its bytes.

// Whether offices can be confined on this machine, found out once per process by
// starting an empty sandbox. The environment variable TARNWICK_TEST_NO_CONFINEMENT
// (set to anything) makes it unavailable, for tests.
struct ConfinementHere {
    bool available = false;
    QString reason; // why not, when not
};
const ConfinementHere &OfficeConfinementHere();

// The one line that says an office runs unconfined, and why.
QString UnconfinedOfficeNotice(const ConfinementHere &here);
// What refuses to start an office that cannot be confined, when that is required.
QString UnconfinedOfficeRefusal(const ConfinementHere &here);

// What the confined office may see beyond the system's read-only part.
struct ConfinedFolders {
    QString officeRoot;      // the installation, read-only
    QStringList writable;    // profile, temporary folder, pipe folder
    QString workingFolder;   // its current folder (one of the writable ones)
};

// The sandbox for one office: the command that runs a program inside it. Its
// arguments go to bubblewrap through a descriptor, not on the command line, which
// every user can read; the descriptors must stay open in the child
// (inheritedDescriptors) and be read from their start by each run.
class OfficeJail {
public:
    // Throws AppError when the descriptors cannot be made.
    explicit OfficeJail(const ConfinedFolders &folders);

    QString program() const;
    QStringList arguments(const QString &binary, const QStringList &binaryArguments) const;
    QList<int> inheritedDescriptors() const;

private:
    FileDescriptor m_filter;
    FileDescriptor m_arguments;
};

// In a child process between fork and exec (async-signal-safe): keeps
// `descriptors` open across exec and rewinds them, so that every run of a jail
// reads its arguments and filter whole.
void KeepForChild(const QList<int> &descriptors);
