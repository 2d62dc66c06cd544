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
    // How long one call into the office may take before the office is ended.
    // Large documents load in well under half a minute.
    int callTimeoutMs = 120000;
    // The office's memory grows with every document it loads; after this many it
    // is ended and started afresh before the next file (0: never).
    int restartAfterDocuments = 200;
    // The office's profile gets the settings that switch off what nobody sees
    // (toolbars, sidebar, background spelling) and what is unsafe (macros, link
    // updates); see OfficeSettings.h. Off only to measure what they gain.
    bool tunedProfile = true;
    // Folders searched for nss_wrapper, which lends a user id without an account
    // one for the office (see OfficeAccount.h); empty: none.
    QStringList accountWrapperSearchPath;

    // PATH, then the usual install folder; the C library's folder for nss_wrapper;
    // the rest as described above.
    static UnoOfficeOptions defaults();
};
