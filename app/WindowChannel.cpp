#include "app/WindowChannel.h"

#include "core/ProgramCache.h"
#include "util/AppError.h"
#include "util/PrivateFolder.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <memory>
#include <optional>

namespace {

// A message is its length (quint32) and a QStringList in QDataStream's Qt 6 form; the
// window answers with one byte, and the start confirms with one byte that it took the
// answer in time. Only a confirmed message is acted on.
constexpr char Taken = 'k';
constexpr char Confirmed = 'y';
constexpr quint32 LargestMessage = 64 * 1024 * 1024;
// How long the window waits for the confirmation of its answer; a start that is still
// there confirms at once.
constexpr int ConfirmationWaitMs = 10000;

QByteArray messageOf(const QStringList &paths)
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << paths;
    QByteArray message;
    QDataStream framed(&message, QIODevice::WriteOnly);
    framed.setVersion(QDataStream::Qt_6_0);
    framed << quint32(body.size());
    return message + body;
}

// The display's name as part of a file name.
QString fileNamePart(const QString &text)
{
    QString part;
    for (const QChar c : text)
        part += c.isLetterOrNumber() && c.unicode() < 128 ? c : QLatin1Char('_');
    return part;
}

} // namespace

WindowChannel::WindowChannel(const QString &folder, const QString &display, QObject *parent)
    : QObject(parent), m_folder(folder), m_name(QStringLiteral("window-") + fileNamePart(display))
{
}

WindowChannel::~WindowChannel() = default;

QString WindowChannel::defaultFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(QStringLiteral("tarnwick"));
    return QDir(ProgramCacheFolder()).filePath(QStringLiteral("window"));
}

QString WindowChannel::currentDisplay()
{
    return qEnvironmentVariable("WAYLAND_DISPLAY") + QLatin1Char('|') + qEnvironmentVariable("DISPLAY");
}

WindowChannel::Start WindowChannel::start(const QStringList &paths, int timeoutMs)
{
    try {
        // Nobody else may put a socket or a lock where we look for ours.
        MakePrivateFolder(m_folder);
    } catch (const AppError &error) {
        m_problem = error.description();
        return Start::Alone;
    }
    const QDir folder(m_folder);
    m_lock = std::make_unique<QLockFile>(folder.filePath(m_name + QStringLiteral(".lock")));
    // A lock whose program is gone is taken over at once; a live one is never stale.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        listen();
        return m_server ? Start::FirstWindow : Start::Alone;
    }
    if (m_lock->error() != QLockFile::LockFailedError) {
        m_problem = QStringLiteral("The lock %1 cannot be made.").arg(m_lock->fileName());
        return Start::Alone;
    }
    if (handOver(paths, timeoutMs))
        return Start::HandedOver;
    m_problem = QStringLiteral("The window that runs already did not answer; this one opens beside it.");
    return Start::Unanswered;
}

bool WindowChannel::handOver(const QStringList &paths, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // A window started a moment ago may hold the lock and not listen yet.
    for (;;) {
        socket.connectToServer(QDir(m_folder).filePath(m_name));
        if (socket.waitForConnected(int(deadline.remainingTime())))
            break;
        socket.abort();
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    socket.write(messageOf(paths));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
            return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    char answer = 0;
    if (!socket.getChar(&answer) || answer != Taken)
        return false;
    // Within the time: the window may act on the paths now. Past it, the socket closes
    // unconfirmed, and a window that answers late drops them.
    socket.putChar(Confirmed);
    socket.flush();
    return socket.bytesToWrite() == 0 || socket.waitForBytesWritten(1000);
}

void WindowChannel::listen()
{
    const QString path = QDir(m_folder).filePath(m_name);
    // We hold the lock: a socket file there is one a program that is gone left behind.
    QLocalServer::removeServer(path);
    auto *server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(path)) {
        m_problem = QStringLiteral("Later starts cannot find this window: %1").arg(server->errorString());
        delete server;
        return;
    }
    m_server = server;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *peer = m_server->nextPendingConnection())
            serve(peer);
    });
}

void WindowChannel::serve(QLocalSocket *peer)
{
    connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    // A peer that neither confirms nor goes away is dropped in the end.
    QTimer::singleShot(ConfirmationWaitMs, peer, [peer] { peer->abort(); });
    auto answered = std::make_shared<std::optional<QStringList>>();
    connect(peer, &QLocalSocket::readyRead, this, [this, peer, answered] {
        if (*answered) {
            char confirmation = 0;
            if (peer->getChar(&confirmation) && confirmation == Confirmed) {
                const QStringList paths = **answered;
                answered->reset();
                peer->disconnectFromServer();
                emit pathsHandedOver(paths);
            }
            return;
        }
        if (peer->bytesAvailable() < qint64(sizeof(quint32)))
            return;
        QDataStream in(peer);
        in.setVersion(QDataStream::Qt_6_0);
        quint32 size = 0;
        peer->peek(reinterpret_cast<char *>(&size), sizeof size);
        size = qFromBigEndian(size);
        if (size > LargestMessage) {
            peer->abort();
            return;
        }
        if (peer->bytesAvailable() < qint64(sizeof size) + size)
            return; // the rest is on its way
        in >> size;
        QStringList paths;
        in >> paths;
        if (in.status() != QDataStream::Ok) {
            peer->abort();
            return;
        }
        *answered = paths;
        peer->putChar(Taken);
        peer->flush();
    });
}
