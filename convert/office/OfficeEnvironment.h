#pragma once

#include <QProcessEnvironment>

// The environment of the private office: `base` with a UTF-8 locale and
// `temporaryFolder` as the folder for its temporary files. The "Text" export writes
// in the office's locale encoding, and under C/POSIX that is ISO-8859-1 with "?" for
// every other character. The temporary files hold copies of the documents, so they
// belong in a folder only this user can read, not in the shared /tmp.
QProcessEnvironment officeEnvironment(QProcessEnvironment base, const QString &temporaryFolder);
