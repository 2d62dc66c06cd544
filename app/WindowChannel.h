#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

// One window per user and display. The first program to start takes a lock and
// listens on a local socket, both in a private folder of the user's; a later start
// hands its documents and folders over that socket and ends, and the window it found
// adds them and comes to the front. A lock left by a program that is gone is taken
// over; a window that does not answer in time is left alone, and a new one opens.
// The window answers before it adds, and adds only when the start confirms that it
// took the answer in time: a start that gave up (and opened its own window) is not
// acted on later by a window that wakes up.
class WindowChannel : public QObject {
    Q_OBJECT
public:
    // `folder` holds the lock and the socket; it is made private when missing.
    // `display` tells the user's displays apart (windows on two displays are two).
    WindowChannel(const QString &folder, const QString &display, QObject *parent = nullptr);
    ~WindowChannel() override;

    enum class Start {
        FirstWindow, // this program opens the window and listens for later starts
        HandedOver,  // a running window took the paths: this program ends
        Unanswered,  // a window runs but did not answer in time: a window of its own, apart
        Alone        // no channel (no private folder, no socket): a window of its own
    };
    // Hands `paths` to the running window, or becomes the one that others find. A
    // window that does not answer within `timeoutMs` counts as none.
    Start start(const QStringList &paths, int timeoutMs = 3000);

    // Why the channel could not be used (Unanswered, Alone), for the user; empty otherwise.
    QString problem() const { return m_problem; }

    // The folder of the user's session for such things: $XDG_RUNTIME_DIR/tarnwick, or
    // a folder in the program's cache when the session has none.
    static QString defaultFolder();
    // The display the program shows on: $WAYLAND_DISPLAY and $DISPLAY.
    static QString currentDisplay();

signals:
    // A later start's paths (none when it named none): add them and come to the front.
    void pathsHandedOver(const QStringList &paths);

private:
    bool handOver(const QStringList &paths, int timeoutMs);
    void listen();
    void serve(QLocalSocket *peer);

    QString m_folder;
    QString m_name;
    QString m_problem;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};
