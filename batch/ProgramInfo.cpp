#include "batch/ProgramInfo.h"

#include "batch/BatchOptions.h"
#include "convert/office/OfficeInstallation.h"
#include "util/AppError.h"

#include <QString>
#include <cstdio>
#include <cstring>

namespace {

QString helpText()
{
    return QStringLiteral("Usage: tarnwick [FILE|FOLDER]...             the window\n"
                          "       tarnwick --convert [options] PATH...  the conversion without a window\n"
                          "       tarnwick --serve [options]            the conversion as an HTTP service\n"
                          "                                             (tarnwick --serve --help)\n"
                          "       tarnwick --help | --version\n"
                          "\n"
                          "Without --convert, tarnwick opens its window, which needs a display: add Writer\n"
                          "documents (.odt .ott .sxw .stw) to its list and \"Start Converting To TXT\".\n"
                          "Files and folders named on the command line are added to the list as a drop of\n"
                          "them adds them (folders with all the folders below); \"--\" ends the options.\n"
                          "\n"
                          "  --help, -h     print this text\n"
                          "  --version, -V  print the version of tarnwick and of the LibreOffice it drives\n"
                          "\n")
        + BatchHelpText();
}

} // namespace

const char *ProgramVersion()
{
    return TARNWICK_VERSION;
}

std::optional<int> RunInfoOption(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (std::strcmp(argument, "--") == 0)
            break;
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            std::fputs(helpText().toLocal8Bit().constData(), stdout);
            return 0;
        }
        if (std::strcmp(argument, "--version") == 0 || std::strcmp(argument, "-V") == 0) {
            std::printf("tarnwick %s\n", ProgramVersion());
            try {
                const OfficeInstallation office = findOffice(defaultOfficeSearchPath());
                const QString version = officeVersion(office);
                std::printf("%s (%s)\n", qPrintable(version.isEmpty() ? QStringLiteral("LibreOffice") : version),
                            qPrintable(office.programDir));
            } catch (const AppError &) {
                // None found: only the program's own version.
            }
            return 0;
        }
    }
    return std::nullopt;
}
