#include "convert/office/OfficeConnection.h"

#include "convert/OfficeBridge.h"
#include "convert/office/OfficeEnvironment.h"
#include "convert/office/OfficeInstallation.h"
#include "convert/office/UnoErrors.h"
#include "convert/office/UnoRuntime.h"
#include "convert/office/UnoString.h"

#include <QElapsedTimer>
#include <QFile>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <unistd.h>

namespace {

// soffice.bin exits with this after creating a new profile, asking to be started
// again (the launcher normally does that).
constexpr int kRestartRequested = 81;
constexpr int kRetryIntervalMs = 100;
constexpr int kTerminateWaitMs = 5000;

QString newPipeName()
{
    static int started = 0;
    return QStringLiteral("tarnwick_%1_%2").arg(::getpid()).arg(++started);
}

// A killed office leaves its pipe's socket file behind.
void removePipeLeftover(const QString &pipe)
{
    if (!pipe.isEmpty())
        QFile::remove(QStringLiteral("/tmp/OSL_PIPE_%1_%2").arg(::getuid()).arg(pipe));
}

QStringList officeArguments(const QString &profile, const QString &pipe)
{
    return {QStringLiteral("-env:UserInstallation=") + FileUrlOf(profile),
            QStringLiteral("--headless"),
            QStringLiteral("--invisible"),
            QStringLiteral("--norestore"),
            QStringLiteral("--nologo"),
            QStringLiteral("--nodefault"),
            QStringLiteral("--nolockcheck"),
            QStringLiteral("--accept=pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipe)};
}

} // namespace

OfficeConnection::OfficeConnection(UnoOfficeOptions options)
    : m_options(std::move(options))
{
}

OfficeConnection::~OfficeConnection()
{
    shutdown();
}

css::uno::Reference<css::uno::XComponentContext> OfficeConnection::context()
{
    if (!answers())
        startAndConnect();
    return m_remote;
}

void OfficeConnection::shutdown()
{
    // Asked, the office removes its pipes and leaves its profile tidy; signals
    // are the fallback for one that does not answer.
    if (answers()) {
        bool ending = true;
        try {
            ending = css::frame::Desktop::create(m_remote)->terminate();
        } catch (const css::uno::Exception &) {
            // It may well drop the connection while answering.
        }
        m_remote.clear();
        if (ending)
            m_process.waitForExit(kTerminateWaitMs);
    }
    m_remote.clear();
    m_process.stop();
    removePipeLeftover(m_pipe);
    m_pipe.clear();
}

bool OfficeConnection::answers()
{
    if (!m_remote.is())
        return false;
    if (m_process.isRunning()) {
        try {
            // A round trip: throws DisposedException once the office has gone.
            if (m_remote->getServiceManager().is())
                return true;
        } catch (const css::uno::RuntimeException &) {
        }
    }
    m_remote.clear();
    return false;
}

void OfficeConnection::startAndConnect()
{
    m_process.stop();
    removePipeLeftover(m_pipe);
    const OfficeInstallation office = findOffice(m_options.officeSearchPath, m_options.programDir);
    const auto local = localUnoContext(office.programDir);
    const QString profile = m_profile.claim(m_options.profileDir.isEmpty() ? OfficeProfile::defaultFolder()
                                                                             : m_options.profileDir);
    m_pipe = newPipeName();
    const QStringList arguments = officeArguments(profile, m_pipe);
    const QProcessEnvironment environment = officeEnvironment(QProcessEnvironment::systemEnvironment());

    QElapsedTimer clock;
    clock.start();
    m_process.start(office.officeBinary, arguments, environment);
    while (!tryConnect(local, m_pipe)) {
        if (m_process.waitForExit(kRetryIntervalMs)) {
            if (m_process.exitCode() != kRestartRequested) {
                throw AppError(QStringLiteral("The office (%1) stopped while starting, with exit code %2.")
                                   .arg(office.officeBinary)
                                   .arg(m_process.exitCode()));
            }
            m_process.start(office.officeBinary, arguments, environment);
        }
        if (clock.hasExpired(m_options.startTimeoutMs)) {
            m_process.stop();
            throw AppError(QStringLiteral("The office (%1) did not answer within %2 seconds.")
                               .arg(office.officeBinary)
                               .arg(m_options.startTimeoutMs / 1000.0));
        }
    }
}

bool OfficeConnection::tryConnect(const css::uno::Reference<css::uno::XComponentContext> &local,
                                  const QString &pipe)
{
    const QString url = QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipe);
    return officeCall(QStringLiteral("The office could not be reached"), [&] {
        try {
            const auto resolver = css::bridge::UnoUrlResolver::create(local);
            m_remote.set(resolver->resolve(toOUString(url)), css::uno::UNO_QUERY_THROW);
            return true;
        } catch (const css::connection::NoConnectException &) {
            return false; // not accepting yet
        }
    });
}
