// One copy of the program's conversion, for tests that run several at once:
//   convert_probe source target [source target ...]
// Converts each source through its own private office, prints "office <pid>" once
// the office runs, and ends it on the way out. Exit code 1 on any failure. With
// CONVERT_PROBE_NO_ACCOUNT_WRAPPER set, nss_wrapper is never found.
#include "OfficeTestSupport.h"
#include "convert/office/UnoOfficeBridge.h"

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.isEmpty() || arguments.size() % 2 != 0) {
        std::fprintf(stderr, "usage: convert_probe source target [source target ...]\n");
        return 2;
    }
    UnoOfficeOptions options = UnoOfficeOptions::defaults();
    if (qEnvironmentVariableIsSet("CONVERT_PROBE_NO_ACCOUNT_WRAPPER"))
        options.accountWrapperSearchPath.clear(); // as where nss_wrapper is not installed
    UnoOfficeBridge office(options);
    int failures = 0;
    for (qsizetype i = 0; i < arguments.size(); i += 2) {
        try {
            convertDocument(office, arguments[i], arguments[i + 1]);
        } catch (const AppError &error) {
            std::fprintf(stderr, "%s\n", qPrintable(error.description()));
            ++failures;
        }
        if (i == 0)
            std::printf("office %lld\n", static_cast<long long>(office.officeProcessId()));
        std::fflush(stdout);
    }
    return failures == 0 ? 0 : 1;
}
