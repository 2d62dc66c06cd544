#include "convert/office/OfficeInstallation.h"

#include "util/AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#ifndef TARNWICK_OFFICE_PROGRAM_DIR
#define TARNWICK_OFFICE_PROGRAM_DIR "/usr/lib/libreoffice/program"
#endif

QStringList defaultOfficeSearchPath()
{
    QStringList path = qEnvironmentVariable("PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts);
    path.removeIf([](const QString &dir) { return !QDir::isAbsolutePath(dir); });
    for (const QString &installDir : {QStringLiteral(TARNWICK_OFFICE_PROGRAM_DIR),
                                      QStringLiteral("/usr/lib/libreoffice/program"),
                                      QStringLiteral("/opt/libreoffice/program")}) {
        if (!path.contains(installDir))
            path.append(installDir);
    }
    return path;
}

OfficeInstallation findOffice(const QStringList &searchPath, const QString &programDir)
{
    QString soffice;
    for (const QString &dir : searchPath) {
        // A relative entry (".", "bin") depends on the current folder, which may be
        // anyone's: never run an office from there.
        if (!QDir::isAbsolutePath(dir))
            continue;
        const QFileInfo candidate(QDir(dir).filePath(QStringLiteral("soffice")));
        if (candidate.isFile() && candidate.isExecutable()) {
            soffice = candidate.canonicalFilePath();
            break;
        }
    }
    if (soffice.isEmpty()) {
        const QString where = searchPath.isEmpty() ? QStringLiteral("the search path")
                                                   : searchPath.join(QStringLiteral(", "));
        throw AppError(QStringLiteral("LibreOffice was not found: there is no soffice program in %1.").arg(where));
    }

    // /usr/bin/soffice is a link to the launcher script in the program folder.
    OfficeInstallation office;
    office.programDir = programDir.isEmpty() ? QFileInfo(soffice).absolutePath() : programDir;
    office.officeBinary = QDir(office.programDir).filePath(QStringLiteral("soffice.bin"));
    if (!QFileInfo(office.officeBinary).isExecutable()
        || !QFileInfo::exists(QDir(office.programDir).filePath(QStringLiteral("fundamentalrc")))) {
        throw AppError(QStringLiteral("LibreOffice was found at %1, but %2 is not a complete LibreOffice "
                                      "program folder (soffice.bin or fundamentalrc is missing).")
                           .arg(soffice, office.programDir));
    }
    return office;
}

QString officeVersion(const OfficeInstallation &office)
{
    QFile registry(QDir(office.programDir).filePath(QStringLiteral("../share/registry/main.xcd")));
    if (!registry.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(registry.readAll());
    const auto value = [&](const char *name) {
        const QRegularExpression property(QStringLiteral(R"(<prop oor:name="%1"[^>]*>\s*<value>([^<]+)</value>)")
                                              .arg(QLatin1String(name)));
        return property.match(text).captured(1).trimmed();
    };
    const QString version = value("ooSetupVersionAboutBox");
    if (version.isEmpty())
        return {};
    const QString product = value("ooName");
    return (product.isEmpty() ? QStringLiteral("LibreOffice") : product) + QLatin1Char(' ') + version;
}
