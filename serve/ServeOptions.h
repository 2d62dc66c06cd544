#pragma once

#include "batch/BatchOptions.h"

#include <QString>
#include <QStringList>
#include <variant>

// What `tarnwick --serve [options]` was asked to do.
struct ServeOptions {
    QString host = QStringLiteral("127.0.0.1"); // TCP: the address to listen on
    int port = 8088;                            // TCP: 0 lets the system choose
    QString socketPath;                         // unix:PATH instead of TCP
    int jobs = 1;                               // private offices working at once
    int queuePlaces = 16;                       // requests waiting for an office, beyond which 503
    qint64 maxBytes = 100LL * 1024 * 1024;      // largest request body
    int timeoutSeconds = 120;                   // without work from the office: hung
    int documentLimitSeconds = 1800;            // of work on one document: a runaway
    int queueWaitSeconds = 5;                   // a request's wait for a place before 503
    int headerSeconds = 10;                     // for a request's headers
    int minimumBytesPerSecond = 1024;           // a body's average rate, after headerSeconds
    int uploads = 64;                           // bodies arriving at once; one more cuts off the slowest
    int uploadSeconds = 600;                    // for a whole body
    int perAddress = 0;                         // connections from one client address (0: no limit)
    int stopGraceSeconds = 10;                  // for uploads still arriving when stopped
    int idleExitSeconds = 0;                    // ends after so long without a request; 0: never
    bool user = false;                          // the user's own service, at UserServiceSocket()
    bool stop = false;                          // with user: ends the user's running service
    bool requireConfinement = false;            // --confined=require: no office runs unconfined
    bool help = false;
};

// The options of `tarnwick --serve`, one row each: its parser and the option list
// of its --help come from them.
QList<OptionRow<ServeOptions>> ServeOptionRows();

// Parses the arguments after "--serve". A host other than loopback is taken only
// when named; whether it can be listened on is the service's business. --user
// listens on the user's own socket with one office and --idle-exit 600, unless
// told otherwise.
std::variant<ServeOptions, UsageError> ParseServeOptions(const QStringList &arguments);

// The text of `tarnwick --serve --help`.
QString ServeHelpText();
