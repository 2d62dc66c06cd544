#pragma once

#include <QProcessEnvironment>

// The environment of the private office: `base` with a UTF-8 locale. The "Text"
// export writes in the office's locale encoding, and under C/POSIX that is
// ISO-8859-1 with "?" for every other character.
QProcessEnvironment officeEnvironment(QProcessEnvironment base);
