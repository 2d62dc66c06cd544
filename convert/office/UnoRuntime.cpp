#include "convert/office/UnoRuntime.h"

#include "convert/office/UnoErrors.h"
#include "convert/office/UnoString.h"

#include <QDir>
#include <csignal>
#include <cppuhelper/bootstrap.hxx>
#include <mutex>
#include <rtl/bootstrap.hxx>

css::uno::Reference<css::uno::XComponentContext> localUnoContext(const QString &programDir)
{
    // Never destroyed: tearing the UNO runtime down during static destruction
    // crashes in libraries that are already unloaded.
    static auto *context = new css::uno::Reference<css::uno::XComponentContext>();
    // Several offices may be started at once, each from a thread of its own.
    static std::mutex bootstrapping;
    const std::lock_guard lock(bootstrapping);
    if (context->is())
        return *context;

    // A write to the pipe of an office that has just died must fail with EPIPE,
    // which the bridge reports as a lost connection, not end this program with
    // SIGPIPE in the middle of a run.
    std::signal(SIGPIPE, SIG_IGN);

    // Without this the first call into the office crashes in the UNO runtime.
    const QString fundamentalrc = QDir(programDir).absoluteFilePath(QStringLiteral("fundamentalrc"));
    rtl::Bootstrap::set(rtl::OUString("URE_BOOTSTRAP"), toOUString(QStringLiteral("vnd.sun.star.pathname:") + fundamentalrc));

    const QString failure = QStringLiteral("The UNO runtime could not be started from %1").arg(programDir);
    try {
        *context = officeCall(failure, [] { return cppu::defaultBootstrap_InitialComponentContext(); });
    } catch (const cppu::BootstrapException &error) {
        throw AppError(failure + QStringLiteral(": ") + toQString(error.getMessage()));
    }
    if (!context->is())
        throw AppError(failure + QStringLiteral("."));
    return *context;
}
