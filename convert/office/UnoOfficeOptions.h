#pragma once

#include <QString>
#include <QStringList>

// How the private office is found and run.
struct UnoOfficeOptions {
    // Folders searched for soffice, in order; empty means no office.
    QStringList officeSearchPath;
    // The office's program folder (fundamentalrc, soffice.bin); empty means the
    // folder soffice resolves to.
    QString programDir;
    // Base of the office's profile folder; empty means the per-user cache.
    QString profileDir;
    // How long the office may take to start and answer.
    int startTimeoutMs = 60000;

    // PATH, then the usual install folder; the rest as described above.
    static UnoOfficeOptions defaults();
};
