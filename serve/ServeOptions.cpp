#include "serve/ServeOptions.h"

#include <algorithm>
#include <arpa/inet.h>

namespace {

bool isNumericAddress(const QString &host)
{
    unsigned char address[sizeof(in6_addr)];
    const QByteArray text = host.toLatin1();
    return inet_pton(AF_INET, text.constData(), address) == 1 || inet_pton(AF_INET6, text.constData(), address) == 1;
}

constexpr int kMaxJobs = 32;
constexpr int kMaxQueue = 10000;
constexpr int kMaxDocumentLimit = 7 * 86400;
constexpr int kMaxIdleExit = 7 * 86400;
constexpr int kUserIdleExit = 600;

// HOST:PORT (an IPv6 host in brackets) or unix:PATH.
std::optional<QString> parseListen(const QString &text, ServeOptions &options)
{
    if (text.startsWith(QLatin1String("unix:"))) {
        options.socketPath = text.mid(5);
        if (options.socketPath.isEmpty())
            return QStringLiteral("--listen unix: needs the path of the socket.");
        return std::nullopt;
    }
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    const auto port = WholeNumberOption(text.mid(colon + 1), QStringLiteral("The port of --listen"), 0, 65535);
    if (colon < 0 || !isNumericAddress(host) || std::holds_alternative<UsageError>(port))
        return QStringLiteral("--listen takes HOST:PORT with a numeric address (127.0.0.1:8088, [::1]:8088) or "
                              "unix:PATH, not \"%1\".")
            .arg(text);
    options.host = host;
    options.port = std::get<int>(port);
    options.socketPath.clear();
    return std::nullopt;
}

// Bytes, a plain whole number.
std::variant<qint64, UsageError> byteCount(const QString &text)
{
    const bool digits = !text.isEmpty() && text.size() <= 15
                        && std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isDigit(); });
    const qint64 value = digits ? text.toLongLong() : 0;
    if (value < 1)
        return UsageError{QStringLiteral("--max-size takes a number of bytes, not \"%1\".").arg(text)};
    return value;
}

} // namespace

QList<OptionRow<ServeOptions>> ServeOptionRows()
{
    using Kind = OptionValueKind;
    return {
        {"--listen", {}, "ADDRESS", Kind::Text,
             "HOST:PORT (default 127.0.0.1:8088; another host than\n"
             "loopback only when named, e.g. 0.0.0.0:8088), or unix:PATH\n"
             "for a socket only this user can reach (mode 0600), in a\n"
             "folder this user owns",
         [](ServeOptions &options, const QString &value) { return parseListen(value, options); }},
        {"--jobs", {}, "N", Kind::Text,
             "private offices converting at once (default: the number of\n"
             "cores, at most 4; here %1)",
         TakesWholeNumber(&ServeOptions::jobs, "--jobs", 1, kMaxJobs)},
        {"--queue", {}, "N", Kind::Text,
             "requests that may wait for an office (default 16; 0 with\n"
             "--user), beyond one each office converts",
         TakesWholeNumber(&ServeOptions::queuePlaces, "--queue", 0, kMaxQueue)},
        {"--queue-wait", {}, "SECONDS", Kind::Text,
             "how long a request that finds every place taken waits in\n"
             "line for one, before its body is read (default 5); then 503",
         TakesWholeNumber(&ServeOptions::queueWaitSeconds, "--queue-wait", 0, 3600)},
        {"--max-size", {}, "BYTES", Kind::Text,
             "largest request body (default 104857600, 100 MiB); a larger\n"
             "one is answered 413 without being read",
         [](ServeOptions &options, const QString &value) -> std::optional<QString> {
             const auto bytes = byteCount(value);
             if (const auto *error = std::get_if<UsageError>(&bytes))
                 return error->text;
             options.maxBytes = std::get<qint64>(bytes);
             return std::nullopt;
         }},
        {"--timeout", {}, "SECONDS", Kind::Text,
             "how long the office may wait on a document without doing\n"
             "any work before it counts as hung (default 120); it is then\n"
             "ended and the document tried once more on a fresh office",
         TakesWholeNumber(&ServeOptions::timeoutSeconds, "--timeout", 1, 86400)},
        {"--document-limit", {}, "SECONDS", Kind::Text,
             "how long the office may work on one document, counted from\n"
             "its load (default 1800); the request then answers 504",
         TakesWholeNumber(&ServeOptions::documentLimitSeconds, "--document-limit", 1, kMaxDocumentLimit)},
        {"--idle-exit", {}, "SECONDS", Kind::Text,
             "end the service, and its offices, once no request has come\n"
             "for so long (default: never; 600 with --user; 0: never)",
         TakesWholeNumber(&ServeOptions::idleExitSeconds, "--idle-exit", 0, kMaxIdleExit)},
        {"--user", {}, {}, Kind::None,
             "the user's own service, which tarnwick --convert --stdout\n"
             "uses: on $XDG_RUNTIME_DIR/tarnwick/serve.sock (without\n"
             "XDG_RUNTIME_DIR: serve.sock in ~/.cache/tarnwick), one office\n"
             "unless --jobs says otherwise, --queue 0, --idle-exit 600. One\n"
             "per user: when one runs already, this says so and exits 0.\n"
             "It ends itself once its socket's file is removed or its\n"
             "program's file replaced",
         SetsFlag(&ServeOptions::user)},
        {"--stop", {}, {}, Kind::None,
             "with --user: end the user's running service once its\n"
             "requests are answered, waiting at most 30 seconds, and say\n"
             "what ended; exit 0, also when none runs, 1 when it did not\n"
             "end in time",
         SetsFlag(&ServeOptions::stop)},
        {"--header-timeout", {}, "SECONDS", Kind::Text,
             "for a request's headers, from its connection or the end of\n"
             "the last answer (default 10); a slower client is cut off",
         TakesWholeNumber(&ServeOptions::headerSeconds, "--header-timeout", 1, 3600)},
        {"--min-body-rate", {}, "BYTES", Kind::Text,
             "the body's average rate in bytes a second, once it has had\n"
             "--header-timeout seconds (default 1024); a slower one is cut off",
         TakesWholeNumber(&ServeOptions::minimumBytesPerSecond, "--min-body-rate", 0, 1 << 30)},
        {"--uploads", {}, "N", Kind::Text,
             "bodies arriving at once (default 64); one more cuts off the\n"
             "upload with the lowest average rate",
         TakesWholeNumber(&ServeOptions::uploads, "--uploads", 1, 1000000)},
        {"--upload-time", {}, "SECONDS", Kind::Text,
             "the longest a body may take to arrive whole (default 600)",
         TakesWholeNumber(&ServeOptions::uploadSeconds, "--upload-time", 1, 7 * 86400)},
        {"--per-address", {}, "N", Kind::Text,
             "connections at once from one client address (default 0: no\n"
             "limit)",
         TakesWholeNumber(&ServeOptions::perAddress, "--per-address", 0, 1000000)},
        {"--stop-grace", {}, "SECONDS", Kind::Text,
             "on SIGTERM, how long uploads under way may go on arriving\n"
             "(default 10)",
         TakesWholeNumber(&ServeOptions::stopGraceSeconds, "--stop-grace", 0, 3600)},
        {"--confined", {}, "MODE", Kind::Text,
             "auto (the default): every office runs confined where this\n"
             "system allows it, else unconfined, which the log, /health\n"
             "and /metrics say; require: refuse to start (exit 2) rather\n"
             "than run an office unconfined",
         TakesConfinement(&ServeOptions::requireConfinement)},
        {"--help", "-h", {}, Kind::None, "print this text", SetsFlag(&ServeOptions::help)},
    };
}

std::variant<ServeOptions, UsageError> ParseServeOptions(const QStringList &arguments)
{
    ServeOptions options;
    const auto parsed = ParseOptionTable(ServeOptionRows(), arguments, false, options);
    if (const auto *error = std::get_if<UsageError>(&parsed))
        return *error;
    const QStringList &given = std::get<GivenArguments>(parsed).options;
    const bool jobsGiven = given.contains(QStringLiteral("--jobs"));
    const bool queueGiven = given.contains(QStringLiteral("--queue"));
    const bool idleExitGiven = given.contains(QStringLiteral("--idle-exit"));
    const bool listenGiven = given.contains(QStringLiteral("--listen"));
    if (options.stop && !options.user)
        return UsageError{QStringLiteral("--stop ends the user's own service, and goes with --user.")};
    if (options.user && listenGiven)
        return UsageError{QStringLiteral("--user listens on the user's own socket; it cannot go with --listen.")};
    // The user's service is there for one document at a time, and frees its office
    // when nobody has asked for a while. Without a queue, a request gets its place
    // (and "100 Continue") only when an office is free for it, so that a call behind
    // a long document finds out at once and converts with an office of its own.
    if (!jobsGiven)
        options.jobs = options.user ? 1 : DefaultJobs();
    if (options.user && !queueGiven)
        options.queuePlaces = 0;
    if (options.user && !idleExitGiven)
        options.idleExitSeconds = kUserIdleExit;
    return options;
}

QString ServeHelpText()
{
    // The help of the options comes from their table; %1 in it is the default jobs.
    return (QStringLiteral("Usage: tarnwick --serve [options]\n"
               "       tarnwick --serve --user [options]\n"
               "       tarnwick --serve --user --stop\n"
               "\n"
               "A conversion service over HTTP: one Writer document in, its text out, the same\n"
               "bytes as the text file of tarnwick --convert. Needs no display. Several private\n"
               "offices convert at once, each watched as in the batch.\n"
               "\n"
               "  POST /convert   the document as the request body (any content type), or as\n"
               "                  the part \"file\" of a multipart/form-data body (curl -F\n"
               "                  file=@report.odt); the answer is 200, text/plain; charset=utf-8.\n"
               "                  Failures answer {\"error\": ..., \"reason\": ...}: 400 (empty body,\n"
               "                  not a document the office can load), 413 (body over --max-size),\n"
               "                  422 (protected by a password), 503 with Retry-After (queue\n"
               "                  full, no office can be started, stopping: answered once the\n"
               "                  headers are in, the body unread), 504 (past\n"
               "                  --document-limit), 500 (the office ended twice on it).\n"
               "  GET /health     200 while the process serves; its second line says whether\n"
               "                  the offices run confined (office: confined, or unconfined)\n"
               "  GET /ready      200 when an office is ready or can be started, else 503\n"
               "  GET /metrics    Prometheus text format\n"
               "\n"
               "Options:\n")
            + OptionListText(ServeOptionRows())
            + QStringLiteral("\n"
               "The body goes into a private folder (0700) of the service and is removed when\n"
               "the request ends; nothing else is read or written. There is no authentication\n"
               "and no TLS: put the service behind a reverse proxy for those. Each request gets\n"
               "one JSON line on stderr (time, method, path, status, bytes in and out, seconds\n"
               "queued and converting, office). SIGTERM or SIGINT stops it in order: no new\n"
               "connection or request is taken, uploads still arriving after --stop-grace are\n"
               "cut off, the documents under way are converted, the offices ended, exit\n"
               "status 0.\n"
               "\n"
               "Given a listening socket by systemd (LISTEN_FDS, LISTEN_PID), the service takes\n"
               "it instead of --listen: the user units tarnwick.socket and tarnwick.service\n"
               "start the user's service on the first request (systemctl --user enable --now\n"
               "tarnwick.socket).\n"))
        .arg(DefaultJobs());
}
