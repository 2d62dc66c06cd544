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
std::optional<UsageError> parseListen(const QString &text, ServeOptions &options)
{
    if (text.startsWith(QLatin1String("unix:"))) {
        options.socketPath = text.mid(5);
        if (options.socketPath.isEmpty())
            return UsageError{QStringLiteral("--listen unix: needs the path of the socket.")};
        return std::nullopt;
    }
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    const auto port = WholeNumberOption(text.mid(colon + 1), QStringLiteral("The port of --listen"), 0, 65535);
    if (colon < 0 || !isNumericAddress(host) || std::holds_alternative<UsageError>(port))
        return UsageError{
            QStringLiteral("--listen takes HOST:PORT with a numeric address (127.0.0.1:8088, [::1]:8088) or "
                           "unix:PATH, not \"%1\".")
                .arg(text)};
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

std::variant<ServeOptions, UsageError> ParseServeOptions(const QStringList &arguments)
{
    ServeOptions options;
    bool jobsGiven = false;
    bool idleExitGiven = false;
    bool listenGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        const QString name = argument.section(QLatin1Char('='), 0, 0);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options.help = true;
            continue;
        }
        if (argument == QLatin1String("--user") || argument == QLatin1String("--stop")) {
            (argument == QLatin1String("--user") ? options.user : options.stop) = true;
            continue;
        }
        struct Number {
            const char *name;
            int *target;
            int lowest;
            int highest;
        };
        const Number numbers[] = {{"--jobs", &options.jobs, 1, kMaxJobs},
                                  {"--queue", &options.queuePlaces, 0, kMaxQueue},
                                  {"--timeout", &options.timeoutSeconds, 1, 86400},
                                  {"--document-limit", &options.documentLimitSeconds, 1, kMaxDocumentLimit},
                                  {"--queue-wait", &options.queueWaitSeconds, 0, 3600},
                                  {"--header-timeout", &options.headerSeconds, 1, 3600},
                                  {"--min-body-rate", &options.minimumBytesPerSecond, 0, 1 << 30},
                                  {"--uploads", &options.uploads, 1, 1000000},
                                  {"--upload-time", &options.uploadSeconds, 1, 7 * 86400},
                                  {"--per-address", &options.perAddress, 0, 1000000},
                                  {"--stop-grace", &options.stopGraceSeconds, 0, 3600},
                                  {"--idle-exit", &options.idleExitSeconds, 0, kMaxIdleExit}};
        const Number *number = std::find_if(std::begin(numbers), std::end(numbers),
                                            [&](const Number &known) { return name == QLatin1String(known.name); });
        if (number == std::end(numbers) && name != QLatin1String("--listen") && name != QLatin1String("--max-size"))
            return UsageError{QStringLiteral("Unknown option %1.").arg(argument)};
        const auto given = OptionValue(arguments, i, name);
        if (const auto *error = std::get_if<UsageError>(&given))
            return *error;
        const QString &text = std::get<QString>(given);
        if (name == QLatin1String("--listen")) {
            listenGiven = true;
            if (const auto error = parseListen(text, options))
                return *error;
            continue;
        }
        if (name == QLatin1String("--max-size")) {
            const auto bytes = byteCount(text);
            if (const auto *error = std::get_if<UsageError>(&bytes))
                return *error;
            options.maxBytes = std::get<qint64>(bytes);
            continue;
        }
        jobsGiven = jobsGiven || name == QLatin1String("--jobs");
        idleExitGiven = idleExitGiven || name == QLatin1String("--idle-exit");
        const auto value = WholeNumberOption(text, name, number->lowest, number->highest);
        if (const auto *error = std::get_if<UsageError>(&value))
            return *error;
        *number->target = std::get<int>(value);
    }
    if (options.stop && !options.user)
        return UsageError{QStringLiteral("--stop ends the user's own service, and goes with --user.")};
    if (options.user && listenGiven)
        return UsageError{QStringLiteral("--user listens on the user's own socket; it cannot go with --listen.")};
    // The user's service is there for one document at a time, and frees its office
    // when nobody has asked for a while.
    if (!jobsGiven)
        options.jobs = options.user ? 1 : DefaultJobs();
    if (options.user && !idleExitGiven)
        options.idleExitSeconds = kUserIdleExit;
    return options;
}

QString ServeHelpText()
{
    return QStringLiteral(
               "Usage: tarnwick --serve [options]\n"
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
               "  GET /health     200 while the process serves\n"
               "  GET /ready      200 when an office is ready or can be started, else 503\n"
               "  GET /metrics    Prometheus text format\n"
               "\n"
               "Options:\n"
               "  --listen ADDRESS   HOST:PORT (default 127.0.0.1:8088; another host than\n"
               "                     loopback only when named, e.g. 0.0.0.0:8088), or unix:PATH\n"
               "                     for a socket only this user can reach (mode 0600), in a\n"
               "                     folder this user owns\n"
               "  --jobs N           private offices converting at once (default: the number of\n"
               "                     cores, at most 4; here %1)\n"
               "  --queue N          requests that may wait for an office (default 16), beyond\n"
               "                     one each office converts\n"
               "  --queue-wait SECONDS\n"
               "                     how long a request that finds every place taken waits in\n"
               "                     line for one, before its body is read (default 5); then 503\n"
               "  --max-size BYTES   largest request body (default 104857600, 100 MiB); a larger\n"
               "                     one is answered 413 without being read\n"
               "  --timeout SECONDS  how long the office may wait on a document without doing\n"
               "                     any work before it counts as hung (default 120); it is then\n"
               "                     ended and the document tried once more on a fresh office\n"
               "  --document-limit SECONDS\n"
               "                     how long the office may work on one document, counted from\n"
               "                     its load (default 1800); the request then answers 504\n"
               "  --idle-exit SECONDS\n"
               "                     end the service, and its offices, once no request has come\n"
               "                     for so long (default: never; 600 with --user; 0: never)\n"
               "  --user             the user's own service, which tarnwick --convert --stdout\n"
               "                     uses: on $XDG_RUNTIME_DIR/tarnwick/serve.sock (without\n"
               "                     XDG_RUNTIME_DIR: serve.sock in ~/.cache/tarnwick), one office\n"
               "                     unless --jobs says otherwise, --idle-exit 600. One per user:\n"
               "                     when one runs already, this says so and exits 0\n"
               "  --stop             with --user: end the user's running service once its\n"
               "                     requests are answered; exit 0, also when none runs\n"
               "  --header-timeout SECONDS\n"
               "                     for a request's headers, from its connection or the end of\n"
               "                     the last answer (default 10); a slower client is cut off\n"
               "  --min-body-rate BYTES\n"
               "                     the body's average rate in bytes a second, once it has had\n"
               "                     --header-timeout seconds (default 1024); a slower one is cut off\n"
               "  --uploads N        bodies arriving at once (default 64); one more cuts off the\n"
               "                     upload with the lowest average rate\n"
               "  --upload-time SECONDS\n"
               "                     the longest a body may take to arrive whole (default 600)\n"
               "  --per-address N    connections at once from one client address (default 0: no\n"
               "                     limit)\n"
               "  --stop-grace SECONDS\n"
               "                     on SIGTERM, how long uploads under way may go on arriving\n"
               "                     (default 10)\n"
               "  --help, -h         print this text\n"
               "\n"
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
               "tarnwick.socket).\n")
        .arg(DefaultJobs());
}
