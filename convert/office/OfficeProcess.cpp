#include "convert/office/OfficeProcess.h"

#include "convert/office/OfficeConfinement.h"
#include "util/AppError.h"

#include <algorithm>
#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void signalGroup(pid_t leader, int signal)
{
    if (::kill(-leader, signal) != 0)
        ::kill(leader, signal); // not a group of its own after all
}

// Address space for what the machine has, at least 4 GiB: a document that makes the
// office allocate without end fails in the office instead of pushing the machine
// into swapping. Files up to 4 GiB (its copies of documents).
struct Limits {
    rlim_t addressSpace;
    rlim_t fileSize = rlim_t(4) << 30;
};

Limits officeLimits()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    const rlim_t memory = pages > 0 && pageSize > 0 ? rlim_t(pages) * rlim_t(pageSize) : 0;
    return {std::max<rlim_t>(memory, rlim_t(4) << 30)};
}

void lowerLimit(int resource, rlim_t bound)
{
    rlimit limit {};
    if (::getrlimit(resource, &limit) != 0)
        return;
    if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > bound)
        limit.rlim_max = bound;
    limit.rlim_cur = std::min(limit.rlim_cur, limit.rlim_max);
    ::setrlimit(resource, &limit);
}

} // namespace

OfficeProcess::OfficeProcess()
{
    // The office writes warnings to stderr; nobody reads its stdout, and an
    // unread pipe would block it once full.
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

OfficeProcess::~OfficeProcess()
{
    stop();
}

void OfficeProcess::start(const QString &program, const QStringList &arguments,
                          const QProcessEnvironment &environment, const QList<int> &inherited)
{
    stop();
    const pid_t parent = ::getpid();
    const Limits limits = officeLimits();
    m_process.setChildProcessModifier([parent, inherited, limits] {
        ::setpgid(0, 0);
        KeepForChild(inherited);
        lowerLimit(RLIMIT_CORE, 0);
        lowerLimit(RLIMIT_AS, limits.addressSpace);
        lowerLimit(RLIMIT_FSIZE, limits.fileSize);
        // The office's files, pipes and sockets are for this user alone, whatever
        // the program's own umask.
        ::umask(077);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The parent may have died before the signal was armed.
        if (::getppid() != parent)
            ::_exit(1);
    });
    m_process.setProcessEnvironment(environment);
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(30000)) {
        throw AppError(QStringLiteral("The office (%1) could not be started: %2")
                           .arg(program, m_process.errorString()));
    }
}

bool OfficeProcess::waitForExit(int milliseconds)
{
    if (m_process.state() == QProcess::NotRunning)
        return true;
    return m_process.waitForFinished(milliseconds);
}

bool OfficeProcess::isRunning()
{
    return !waitForExit(0);
}

int OfficeProcess::exitCode() const
{
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

qint64 OfficeProcess::processId() const
{
    return m_process.state() == QProcess::NotRunning ? 0 : m_process.processId();
}

void OfficeProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    const pid_t group = static_cast<pid_t>(m_process.processId());
    signalGroup(group, SIGTERM);
    if (m_process.waitForFinished(5000))
        return;
    signalGroup(group, SIGKILL);
    m_process.waitForFinished(5000);
}
