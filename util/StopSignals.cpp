#include "util/StopSignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
int g_pipe[2] = {-1, -1};
// Set by the handler on whichever thread runs it and read on others: a lock-free
// atomic, which a handler may use.
std::atomic<int> g_first{0};
static_assert(std::atomic<int>::is_always_lock_free);

void setAction(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

void onSignal(int signal)
{
    const int saved = errno;
    setAction(SIG_DFL);
    int none = 0;
    g_first.compare_exchange_strong(none, signal);
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t wrote = ::write(g_pipe[1], &number, 1);
    errno = saved;
}

} // namespace

StopSignals::StopSignals()
{
    g_first = 0;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) == 0)
        setAction(onSignal);
}

StopSignals::~StopSignals()
{
    setAction(SIG_DFL);
    for (int &fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

int StopSignals::descriptor() const
{
    return g_pipe[0];
}

int StopSignals::wait(int milliseconds)
{
    if (g_first != 0 || g_pipe[0] < 0)
        return g_first;
    pollfd ready{g_pipe[0], POLLIN, 0};
    while (::poll(&ready, 1, milliseconds) < 0 && errno == EINTR) {
    }
    return g_first;
}
