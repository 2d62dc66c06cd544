#pragma once

#include "assets/WriterDocuments.h"
#include "convert/OfficeBridge.h"
#include "support/TestFiles.h"

#include <QDir>

// A real password-protected .odt ("secret"), saved so by the office itself from a
// plain one; its bytes. Throws AppError when the office fails.
inline QByteArray passwordProtectedOdt(OfficeBridge &office, const QString &folder)
{
    const QString plain = QDir(folder).filePath(QStringLiteral("plain.odt"));
    const QString locked = QDir(folder).filePath(QStringLiteral("locked.odt"));
    QDir().mkpath(folder);
    writeOdt(plain, {QStringLiteral("A secret.")});
    const OfficeRef serviceManager = office.createServiceManager();
    const OfficeRef desktop = office.createInstance(serviceManager, OfficeService::Desktop);
    const OfficeRef document = office.loadComponentFromURL(desktop, FileUrlOf(plain), FrameTarget::NewFrame, 0);
    // A stored copy comes through the program's own stream: a confined office may
    // not write into the test's folder itself.
    office.storeToURL(document, {{SaveArgument::Url, FileUrlOf(locked)},
                                 {SaveArgument::FilterName, QStringLiteral("writer8")},
                                 {SaveArgument::Password, QStringLiteral("secret")}});
    office.close(document, true);
    return readBytes(locked);
}
