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
    // How long one call into the office may wait while the office does no work
    // before the office counts as hung and is ended.
    int callTimeoutMs = 120000;
    // How long the office may work on one document, from its load to its close,
    // before it is ended as a runaway. Large documents take well under a minute.
    int documentLimitMs = 30 * 60 * 1000;
    // The office's memory grows with the documents it loads; once its processes'
    // resident size is past this, it is ended and started afresh before the next
    // file (0: never). Small documents never take it there (bench/README.md,
    // "Office memory"); long ones leave it at 450 MiB and more.
    qint64 restartAboveBytes = 400LL * 1024 * 1024;
    // The office's profile gets the settings that switch off what nobody sees
    // (toolbars, sidebar, background spelling) and what is unsafe (macros, link
    // updates); see OfficeSettings.h. Off only to measure what they gain.
    bool tunedProfile = true;
    // Folders searched for nss_wrapper, which lends a user id without an account
    // one for the office (see OfficeAccount.h); empty: none.
    QStringList accountWrapperSearchPath;
    // Refuse to start an office where it cannot be confined (OfficeConfinement.h),
    // instead of running it unconfined.
    bool requireConfinement = false;

    // PATH, then the usual install folder; the C library's folder for nss_wrapper;
    // the rest as described above.
    static UnoOfficeOptions defaults();
};
