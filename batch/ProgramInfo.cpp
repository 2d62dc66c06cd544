#include "batch/ProgramInfo.h"

#include "batch/BatchOptions.h"
#include "convert/office/OfficeInstallation.h"
#include "util/AppError.h"
#include "util/StandardStreams.h"
#include "util/SystemError.h"

#include <QString>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

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

int PrintProgramText(const QString &text)
{
    // Closed at start, it was opened on /dev/null, which takes everything.
    int error = EBADF;
    if (!StandardStreamWasClosed(STDOUT_FILENO)) {
        std::fputs(text.toLocal8Bit().constData(), stdout);
        if (std::fflush(stdout) == 0 && !std::ferror(stdout))
            return 0;
        error = errno;
    }
    std::fprintf(stderr, "tarnwick: the text could not be written to standard output: %s.\n",
                 qPrintable(SystemErrorText(error)));
    return 1;
}

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
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0)
            return PrintProgramText(helpText());
        if (std::strcmp(argument, "--version") == 0 || std::strcmp(argument, "-V") == 0) {
            QString text = QStringLiteral("tarnwick %1\n").arg(QLatin1String(ProgramVersion()));
            try {
                const OfficeInstallation office = findOffice(defaultOfficeSearchPath());
                const QString version = officeVersion(office);
                text += QStringLiteral("%1 (%2)\n")
                            .arg(version.isEmpty() ? QStringLiteral("LibreOffice") : version, office.programDir);
            } catch (const AppError &) {
                // None found: only the program's own version.
            }
            return PrintProgramText(text);
        }
    }
    return std::nullopt;
}
