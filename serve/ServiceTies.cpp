#include "serve/ServiceTies.h"

#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kDeleted = " (deleted)";

} // namespace

ServiceTies::ServiceTies(SocketFile socket) : m_socket(std::move(socket))
{
    // The file the running program was loaded from, whatever its path says now.
    struct stat running {};
    char target[4096];
    const ssize_t length = ::readlink("/proc/self/exe", target, sizeof target);
    if (length <= 0 || size_t(length) >= sizeof target || ::stat("/proc/self/exe", &running) != 0)
        return;
    m_program = QByteArray(target, length);
    if (m_program.endsWith(kDeleted))
        m_program.chop(kDeleted.size());
    m_device = running.st_dev;
    m_inode = running.st_ino;
}

ServiceTies::~ServiceTies()
{
    m_socket.remove();
}

QString ServiceTies::cut(QString &path) const
{
    if (!m_socket.isEmpty() && !m_socket.stillThere()) {
        path = QFile::decodeName(m_socket.path());
        return QStringLiteral("socket_removed");
    }
    struct stat now {};
    if (!m_program.isEmpty()
        && (::stat(m_program.constData(), &now) != 0 || now.st_dev != m_device || now.st_ino != m_inode)) {
        path = QFile::decodeName(m_program);
        return QStringLiteral("program_replaced");
    }
    return {};
}
