#pragma once

#include <QByteArray>
#include <functional>

// One HTTP request to a service on a connected unix socket, made so that it never
// waits on a service that has stopped answering: every wait is a poll() beside the
// stop signals' descriptor, and the service's process is looked at whenever
// nothing comes for a while.
//
// The request asks for "100 Continue" before its body: the service says so once it
// has a place (an office's turn) for it, and not before. So the body is sent only to
// a service that reads it, and a service that has no place soon is left for
// another way.

// What the process on the other end is doing, as far as can be seen from here.
enum class Peer { Working, Stopped, Gone };

struct ServiceCallLimits {
    int placeMs = 2000;   // from the headers sent to "100 Continue" or an answer
    int stallMs = 10000;  // without a byte of the body taken
    int lookMs = 250;     // between looks at the process while nothing comes
};

struct ServiceAnswer {
    enum class End {
        Answered,     // status and body, whole
        Stopped,      // a stop signal came (signal)
        NotAnswering, // the service stopped, ended, or gave no place within placeMs
        Broken        // cut short or not HTTP
    };
    End end = End::Broken;
    int status = 0;
    QByteArray head; // the status line and headers of the answer
    QByteArray body;
    int signal = 0;
};

// Sends `head` (the request line and headers, without the blank line; it gains
// Content-Length and Expect) and `body` on the non-blocking `fd`, and reads the
// whole answer. `look` tells what the service's process is doing; `stop` is
// readable once a stop signal has come, and `caught` gives that signal.
ServiceAnswer CallService(int fd, const QByteArray &head, const QByteArray &body, const std::function<Peer()> &look,
                          int stop, const std::function<int()> &caught, const ServiceCallLimits &limits = {});

// The Content-Length of an answer's headers: -1 without one, -2 for a value that
// is not a length (negative, or no number).
qint64 AnswerContentLength(const QByteArray &head);
