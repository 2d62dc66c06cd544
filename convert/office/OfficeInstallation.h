#pragma once

#include <QString>
#include <QStringList>

// Where the office lives: soffice.bin (started directly, so that ending it ends
// the office) and the program folder with its fundamentalrc.
struct OfficeInstallation {
    QString officeBinary;
    QString programDir;
};

// The absolute folders of PATH, then the usual install folder.
QStringList defaultOfficeSearchPath();

// Finds soffice in the first absolute folder of `searchPath` that has it; its program folder
// is `programDir` when given, else the folder soffice resolves to. Throws AppError
// when there is no usable office.
OfficeInstallation findOffice(const QStringList &searchPath, const QString &programDir = {});

// The product and version the installation says it is ("LibreOffice 7.4.7.2"),
// read from its configuration (share/registry/main.xcd) without starting it;
// empty when it says nothing that can be read.
QString officeVersion(const OfficeInstallation &office);
