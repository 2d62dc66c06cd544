#include "serve/HttpService.h"

#include "serve/ConversionService.h"
#include "serve/HttpAnswers.h"
#include "serve/RequestBody.h"
#include "serve/RequestFraming.h"
#include "serve/ServeOptions.h"
#include "serve/ServiceLog.h"
#include "serve/ServiceMetrics.h"
#include "util/AppError.h"
#include "util/PrivateFolder.h"
#include "util/SystemError.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <fcntl.h>
#include <memory>
#include <microhttpd.h>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

constexpr unsigned kIdleSeconds = 30; // a connection that neither sends nor reads for so long is closed
constexpr unsigned kPollingThreads = 4;
constexpr rlim_t kFilesKept = 256; // descriptors kept for the offices' pipes, logs and the like

const QString kConvert = QStringLiteral("/convert");

// A connection set aside while its request waits, resumed once by whichever comes
// first: the place, the document's result, the deadline or the client's hang-up.
// A resume that comes before the connection is set aside leaves it in play.
class Suspension {
public:
    explicit Suspension(MHD_Connection *connection) : m_connection(connection) {}

    // False when a resume came first: the caller goes on at once.
    bool suspend()
    {
        const std::lock_guard lock(m_mutex);
        if (std::exchange(m_resumeFirst, false))
            return false;
        MHD_suspend_connection(m_connection);
        m_suspended = true;
        return true;
    }
    void resume()
    {
        const std::lock_guard lock(m_mutex);
        if (std::exchange(m_suspended, false))
            MHD_resume_connection(m_connection);
        else
            m_resumeFirst = true;
    }
    std::atomic<bool> hungUp{false};

private:
    MHD_Connection *const m_connection;
    std::mutex m_mutex;
    bool m_suspended = false;
    bool m_resumeFirst = false;
};

// One request, from its first line to the end of its answer.
struct Exchange : Answer {
    enum class Phase { Started, WaitingForPlace, Body, DocumentWaiting, Converting };

    QString method;
    QString path;
    ConnectionWatch::Connection *watched = nullptr;
    std::shared_ptr<Suspension> suspension;
    Phase phase = Phase::Started;
    QString folder; // the request's private folder, when it has one
    QString shownFolder; // the client's folder of its document, shown in its place
    std::unique_ptr<RequestBody> body;
    bool bodyIn = false; // the library has passed on the whole body
    std::shared_ptr<PlaceClaim> place;
    std::shared_ptr<ConversionTicket> ticket;
    std::optional<ConversionResult> conversion;
};

double rounded(double seconds)
{
    return std::round(seconds * 1000) / 1000;
}

// The office's words name the request's private files; the client knows the
// document by its own name.
QString clientReason(QString reason, const QString &folder)
{
    return reason.replace(QDir(folder).filePath(QStringLiteral("document")) + QLatin1Char('/'), QString())
        .replace(QDir(folder).filePath(QStringLiteral("text.txt")), QStringLiteral("the text"));
}

ConnectionWatch::Connection *watchedOf(MHD_Connection *connection)
{
    const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info ? static_cast<ConnectionWatch::Connection *>(info->socket_context) : nullptr;
}

// Connections at once: as many as the descriptors allow, raised to the hard limit;
// each may need two (its socket, and its document's file or its text's).
unsigned connectionLimit()
{
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    const rlim_t usable = files.rlim_cur > 2 * kFilesKept ? files.rlim_cur - kFilesKept : kFilesKept;
    return unsigned(std::min<rlim_t>(usable / 2, 1000000));
}

std::optional<qint64> contentLength(MHD_Connection *connection)
{
    const char *value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    bool ok = false;
    const qint64 length = value ? QByteArray(value).toLongLong(&ok) : 0;
    if (!ok)
        return std::nullopt;
    return length;
}

} // namespace

struct HttpCallbacks {
    static MHD_Result request(void *cls, MHD_Connection *connection, const char *url, const char *method,
                              const char *, const char *data, size_t *size, void **context)
    {
        auto &service = *static_cast<HttpService *>(cls);
        auto *exchange = static_cast<Exchange *>(*context);
        if (!exchange) {
            exchange = new Exchange;
            exchange->method = QString::fromUtf8(method);
            exchange->path = QString::fromUtf8(url);
            exchange->watched = watchedOf(connection);
            exchange->suspension = std::make_shared<Suspension>(connection);
            *context = exchange;
            {
                const std::lock_guard lock(service.m_mutex);
                ++service.m_underWay;
            }
            if (exchange->watched)
                service.m_watch.headersRead(exchange->watched);
            if (service.m_stopping)
                return answerRefusal(connection, *exchange, Refusal::Stopping);
            if (const std::optional<FramingFault> fault = FramingFaultOf(connection))
                return answerError(connection, *exchange, fault->status, fault->code, fault->reason, 0, true);
            if (exchange->path != kConvert || exchange->method != QLatin1String("POST")) {
                if (exchange->watched)
                    service.m_watch.answering(exchange->watched);
                return route(service, connection, *exchange);
            }
            return admit(service, connection, *exchange);
        }
        switch (exchange->phase) {
        case Exchange::Phase::Started: break;
        case Exchange::Phase::WaitingForPlace: return placeDecided(service, connection, *exchange);
        case Exchange::Phase::Body: return bodyPiece(service, connection, *exchange, data, size);
        case Exchange::Phase::DocumentWaiting: return documentPlaced(service, connection, *exchange);
        case Exchange::Phase::Converting: return converted(service, connection, *exchange);
        }
        return MHD_YES; // answered already; the library sends it
    }

    static MHD_Result route(HttpService &service, MHD_Connection *connection, Exchange &exchange)
    {
        const bool get = exchange.method == QLatin1String("GET") || exchange.method == QLatin1String("HEAD");
        if (exchange.path == kConvert)
            return answerWrongMethod(connection, exchange, "POST");
        if (exchange.path == QLatin1String("/health"))
            return get ? answer(connection, exchange, MHD_HTTP_OK,
                                service.m_metrics.officeConfined() ? "ok\noffice: confined\n"
                                                                   : "ok\noffice: unconfined\n",
                                "text/plain; charset=utf-8")
                       : answerWrongMethod(connection, exchange, "GET");
        if (exchange.path == QLatin1String("/ready")) {
            if (!get)
                return answerWrongMethod(connection, exchange, "GET");
            if (service.m_conversions.ready())
                return answer(connection, exchange, MHD_HTTP_OK, "ready\n", "text/plain; charset=utf-8");
            if (service.m_stopping)
                return answerRefusal(connection, exchange, Refusal::Stopping);
            return answerError(connection, exchange, MHD_HTTP_SERVICE_UNAVAILABLE, QStringLiteral("no-office"),
                               QStringLiteral("No office is ready, and none could be started."), kRetryWhenNoOffice);
        }
        if (exchange.path == QLatin1String("/metrics")) {
            const ConnectionWatch::Uploads uploads = service.m_watch.uploads();
            service.m_metrics.setUploads(uploads.count, uploads.bytes, uploads.cutForRoom);
        }
        if (exchange.path == QLatin1String("/metrics"))
            return get ? answer(connection, exchange, MHD_HTTP_OK, service.m_metrics.text(),
                                "text/plain; version=0.0.4; charset=utf-8")
                       : answerWrongMethod(connection, exchange, "GET");
        return answerError(connection, exchange, MHD_HTTP_NOT_FOUND, QStringLiteral("not-found"),
                           QStringLiteral("There is nothing at %1; documents go to POST /convert.").arg(exchange.path));
    }

    // As soon as the headers are in: a body announced as too large is refused
    // unread, and so is one for which no place comes free in time.
    static MHD_Result admit(HttpService &service, MHD_Connection *connection, Exchange &exchange)
    {
        if (const auto length = contentLength(connection); length && *length > service.m_options.maxBytes)
            return answerError(connection, exchange, MHD_HTTP_CONTENT_TOO_LARGE, QStringLiteral("too-large"),
                               QStringLiteral("The body is larger than this service takes (%1 bytes).")
                                   .arg(service.m_options.maxBytes),
                               0, true);
        Refusal refusal{};
        const std::shared_ptr<Suspension> suspension = exchange.suspension;
        exchange.place = service.m_conversions.admit([suspension] { suspension->resume(); }, refusal);
        if (!exchange.place)
            return answerRefusal(connection, exchange, refusal);
        if (exchange.place->state() != PlaceClaim::State::Granted) {
            exchange.phase = Exchange::Phase::WaitingForPlace;
            if (waitInLine(service, exchange))
                return MHD_YES;
        }
        return placeDecided(service, connection, exchange);
    }

    // Sets the connection aside while its claim waits in line, for --queue-wait at
    // most. False when the claim was decided first.
    static bool waitInLine(HttpService &service, Exchange &exchange)
    {
        const std::shared_ptr<Suspension> suspension = exchange.suspension;
        const std::shared_ptr<PlaceClaim> place = exchange.place;
        ConversionService &conversions = service.m_conversions;
        const auto deadline = service.m_clock.now() + std::chrono::seconds(service.m_options.queueWaitSeconds);
        return setAside(service, exchange, [place, &conversions] { conversions.leave(place); }, deadline,
                        [suspension, place, &conversions] {
                            if (conversions.leaveLine(place))
                                suspension->resume();
                        });
    }

    // Sets the connection aside while the request waits, watched for the client
    // hanging up (then `hungUp` runs and the connection is resumed to be closed).
    // False when what it waits for came first: the caller goes on at once.
    static bool setAside(HttpService &service, Exchange &exchange, std::function<void()> hungUp,
                         std::optional<ConnectionWatch::TimePoint> deadline = {},
                         std::function<void()> late = {})
    {
        if (exchange.watched)
            service.m_watch.waiting(
                exchange.watched,
                [suspension = exchange.suspension, hungUp = std::move(hungUp)] {
                    suspension->hungUp = true;
                    hungUp();
                    suspension->resume();
                },
                deadline, std::move(late));
        return exchange.suspension->suspend();
    }

    // Back from waiting: false when the client hung up meanwhile.
    static bool takenBack(HttpService &service, Exchange &exchange)
    {
        if (exchange.watched)
            service.m_watch.waited(exchange.watched);
        return !exchange.suspension->hungUp;
    }

    static MHD_Result placeDecided(HttpService &service, MHD_Connection *connection, Exchange &exchange)
    {
        if (!takenBack(service, exchange))
            return MHD_NO;
        switch (exchange.place->state()) {
        case PlaceClaim::State::Granted: break;
        case PlaceClaim::State::Refused: return answerRefusal(connection, exchange, exchange.place->refusal());
        case PlaceClaim::State::Waiting:
        case PlaceClaim::State::Left: return answerRefusal(connection, exchange, Refusal::QueueFull);
        }
        // The upload, and its rate, count from here: the wait in line was the service's.
        if (exchange.watched)
            service.m_watch.uploadStarts(exchange.watched);
        // A random name: the document's path tells nothing of other requests.
        exchange.folder = QDir(service.m_bodies)
                              .filePath(QString::number(QRandomGenerator::system()->generate64(), 16)
                                            .rightJustified(16, QLatin1Char('0')));
        if (::mkdir(QFile::encodeName(exchange.folder).constData(), 0700) != 0) {
            const int error = errno;
            exchange.folder.clear();
            // The body is unread: the connection is closed rather than read on.
            return answerNotStored(connection, exchange, IsDiskFull(error),
                                   QStringLiteral("The service could not store the document."), true);
        }
        const char *name = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "name");
        // A client may name the folder of its document, which a field showing the
        // document's path then shows (the user's own client does, so that its text is
        // that of the batch); it is the client's own words, given back to it alone.
        if (const char *folder = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "folder");
            folder && folder[0] == '/')
            exchange.shownFolder = QFile::decodeName(folder);
        exchange.body = std::make_unique<RequestBody>(connection, exchange.folder, service.m_options.maxBytes,
                                                      QByteArray(name ? name : ""));
        exchange.phase = Exchange::Phase::Body;
        return MHD_YES;
    }

    static MHD_Result bodyPiece(HttpService &service, MHD_Connection *connection, Exchange &exchange,
                                const char *data, size_t *size)
    {
        if (*size != 0) {
            if (exchange.watched)
                service.m_watch.bodyRead(exchange.watched, qint64(*size));
            const bool taken = exchange.answered || exchange.body->take(data, *size);
            *size = 0;
            if (taken || exchange.body->problem() != RequestBody::Problem::TooLarge)
                return MHD_YES; // any other problem is answered once the body is in
            // The library answers only once the body is in, so a body without a
            // length that passes the bound is cut off here instead of being read on.
            exchange.status = MHD_HTTP_CONTENT_TOO_LARGE;
            exchange.error = QStringLiteral("too-large");
            exchange.reason = exchange.body->problemText();
            return MHD_NO;
        }
        if (exchange.answered)
            return MHD_YES;
        if (!std::exchange(exchange.bodyIn, true)) {
            // The whole request is in. Returning once without an answer makes the
            // library stop reading the socket before the connection is set aside,
            // so that a client that has shut down its sending side (and whose end
            // of file would be read next) still gets its answer.
            return MHD_YES;
        }
        return convert(service, connection, exchange);
    }

    static MHD_Result convert(HttpService &service, MHD_Connection *connection, Exchange &exchange)
    {
        switch (exchange.body->finish()) {
        case RequestBody::Problem::None: break;
        case RequestBody::Problem::TooLarge:
            return answerError(connection, exchange, MHD_HTTP_CONTENT_TOO_LARGE, QStringLiteral("too-large"),
                               exchange.body->problemText());
        case RequestBody::Problem::Empty:
            return answerError(connection, exchange, MHD_HTTP_BAD_REQUEST, QStringLiteral("empty-body"),
                               exchange.body->problemText());
        case RequestBody::Problem::NoFilePart:
            return answerError(connection, exchange, MHD_HTTP_BAD_REQUEST, QStringLiteral("no-file-part"),
                               exchange.body->problemText());
        case RequestBody::Problem::NotWritten:
            return answerNotStored(connection, exchange, exchange.body->diskFull(), exchange.body->problemText());
        }
        if (exchange.watched)
            service.m_watch.answering(exchange.watched); // no longer an upload
        const std::shared_ptr<Suspension> suspension = exchange.suspension;
        if (!service.m_conversions.takePlace(exchange.place, [suspension] { suspension->resume(); })) {
            exchange.phase = Exchange::Phase::DocumentWaiting;
            if (waitInLine(service, exchange))
                return MHD_YES;
            return documentPlaced(service, connection, exchange);
        }
        return submit(service, connection, exchange);
    }

    // Back from waiting in line with the whole body.
    static MHD_Result documentPlaced(HttpService &service, MHD_Connection *connection, Exchange &exchange)
    {
        if (!takenBack(service, exchange))
            return MHD_NO;
        switch (exchange.place->state()) {
        case PlaceClaim::State::Granted: return submit(service, connection, exchange);
        case PlaceClaim::State::Refused: return answerRefusal(connection, exchange, exchange.place->refusal());
        case PlaceClaim::State::Waiting:
        case PlaceClaim::State::Left: break;
        }
        return answerRefusal(connection, exchange, Refusal::QueueFull);
    }

    static MHD_Result submit(HttpService &service, MHD_Connection *connection, Exchange &exchange)
    {
        const QString textFile = QDir(exchange.folder).filePath(QStringLiteral("text.txt"));
        const std::shared_ptr<Suspension> suspension = exchange.suspension;
        exchange.phase = Exchange::Phase::Converting;
        exchange.ticket = service.m_conversions.submit(exchange.place, exchange.body->documentPath(), textFile,
                                                       exchange.shownFolder, [suspension] { suspension->resume(); });
        if (!exchange.ticket)
            return answerRefusal(connection, exchange, Refusal::NoOffice);
        const std::shared_ptr<ConversionTicket> ticket = exchange.ticket;
        ConversionService &conversions = service.m_conversions;
        if (setAside(service, exchange, [ticket, &conversions] { conversions.cancel(ticket); }))
            return MHD_YES;
        return converted(service, connection, exchange);
    }

    static MHD_Result converted(HttpService &service, MHD_Connection *connection, Exchange &exchange)
    {
        const bool clientThere = takenBack(service, exchange);
        const std::optional<ConversionResult> result = exchange.ticket->result();
        if (!clientThere || !result)
            return MHD_NO; // the client went away: nobody to answer
        exchange.conversion = result;
        if (result->outcome == ConversionOutcome::Converted)
            return answerText(connection, exchange, QDir(exchange.folder).filePath(QStringLiteral("text.txt")),
                              result->readAs);
        // The service's own faults name its folders, which are not the client's to see.
        const bool ownFault =
            result->outcome == ConversionOutcome::NotStored || result->outcome == ConversionOutcome::NoRoom;
        return answerOutcome(connection, exchange, result->outcome,
                             ownFault ? QStringLiteral("The service could not store the text.")
                                      : clientReason(result->reason, exchange.folder));
    }

    static void completed(void *cls, MHD_Connection *, void **context, MHD_RequestTerminationCode code)
    {
        auto &service = *static_cast<HttpService *>(cls);
        std::unique_ptr<Exchange> exchange(static_cast<Exchange *>(*context));
        *context = nullptr;
        if (!exchange)
            return;
        if (exchange->place)
            service.m_conversions.leave(exchange->place);
        if (exchange->ticket && !exchange->ticket->result())
            service.m_conversions.cancel(exchange->ticket);
        QJsonObject line{{QStringLiteral("method"), exchange->method}, {QStringLiteral("path"), exchange->path}};
        if (!exchange->answered || code != MHD_REQUEST_TERMINATED_COMPLETED_OK) {
            const QString cut = exchange->watched ? service.m_watch.cutReason(exchange->watched) : QString();
            if (!cut.isEmpty() && exchange->status == 0) {
                exchange->status = MHD_HTTP_REQUEST_TIMEOUT;
                exchange->error = QStringLiteral("cut-off");
                exchange->reason = cut;
            } else if (exchange->status == 0) {
                // nginx's number for a client that closed the connection first.
                exchange->status = 499;
                exchange->error = QStringLiteral("client-gone");
            }
            line[QStringLiteral("completed")] = false;
        }
        if (exchange->watched)
            service.m_watch.requestDone(exchange->watched);
        line[QStringLiteral("status")] = exchange->status;
        line[QStringLiteral("bytes_in")] = exchange->body ? exchange->body->receivedBytes() : 0;
        line[QStringLiteral("bytes_out")] = exchange->bytesOut;
        if (exchange->conversion) {
            line[QStringLiteral("queued")] = rounded(exchange->conversion->queuedSeconds);
            line[QStringLiteral("converting")] = rounded(exchange->conversion->convertingSeconds);
            if (exchange->conversion->office != 0)
                line[QStringLiteral("office")] = exchange->conversion->office;
        }
        if (!exchange->error.isEmpty())
            line[QStringLiteral("error")] = exchange->error;
        if (!exchange->reason.isEmpty())
            line[QStringLiteral("reason")] = exchange->reason;
        exchange->body.reset(); // closes the document's file
        if (!exchange->folder.isEmpty()) {
            try {
                RemovePrivateFolder(exchange->folder);
            } catch (const AppError &error) {
                line[QStringLiteral("cleanup")] = error.description();
            }
        }
        LogLine(line);
        service.m_metrics.request(exchange->status);
        const std::lock_guard lock(service.m_mutex);
        service.m_lastEnded = service.m_clock.now();
        if (--service.m_underWay == 0)
            service.m_idle.notify_all();
    }

    static void connectionChanged(void *cls, MHD_Connection *connection, void **socketContext,
                                  MHD_ConnectionNotificationCode change)
    {
        auto &service = *static_cast<HttpService *>(cls);
        if (change == MHD_CONNECTION_NOTIFY_STARTED) {
            const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            *socketContext = info ? service.m_watch.opened(info->connect_fd) : nullptr;
        } else if (*socketContext) {
            service.m_watch.closed(static_cast<ConnectionWatch::Connection *>(std::exchange(*socketContext, nullptr)));
        }
    }

    static void log(void *, const char *format, va_list arguments)
    {
        char text[512];
        std::vsnprintf(text, sizeof text, format, arguments);
        LogLine({{QStringLiteral("event"), QStringLiteral("http")},
                 {QStringLiteral("reason"), QString::fromLocal8Bit(text).trimmed()}});
    }
};

HttpService::HttpService(ConversionService &conversions, ServiceMetrics &metrics, QString bodies,
                         const ServeOptions &options, const Clock &clock)
    : m_conversions(conversions), m_metrics(metrics), m_bodies(std::move(bodies)), m_options(options), m_clock(clock),
      m_watch({std::chrono::seconds(options.headerSeconds), options.minimumBytesPerSecond,
               std::chrono::seconds(options.uploadSeconds), options.uploads},
              clock),
      m_lastEnded(clock.now())
{
}

HttpService::~HttpService()
{
    stop();
}

void HttpService::start(int listenFd)
{
    m_daemon = MHD_start_daemon(
        MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ITC | MHD_USE_ERROR_LOG, 0, nullptr,
        nullptr, &HttpCallbacks::request, this, MHD_OPTION_EXTERNAL_LOGGER, &HttpCallbacks::log, this,
        MHD_OPTION_LISTEN_SOCKET, listenFd, MHD_OPTION_THREAD_POOL_SIZE, kPollingThreads,
        MHD_OPTION_NOTIFY_COMPLETED, &HttpCallbacks::completed, this, MHD_OPTION_NOTIFY_CONNECTION,
        &HttpCallbacks::connectionChanged, this, MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds,
        MHD_OPTION_CONNECTION_LIMIT, connectionLimit(), MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        unsigned(m_options.perAddress), MHD_OPTION_END);
    if (!m_daemon)
        throw AppError(QStringLiteral("The HTTP service could not be started."));
}

void HttpService::stopAccepting()
{
    m_stopping = true;
    m_conversions.stopTaking();
    m_watch.stopping(std::chrono::seconds(m_options.stopGraceSeconds));
    if (!m_daemon)
        return;
    const MHD_socket listening = MHD_quiesce_daemon(m_daemon);
    if (listening != MHD_INVALID_SOCKET)
        ::close(listening);
}

void HttpService::waitForRequests()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_underWay == 0; });
}

Clock::Duration HttpService::idleTime() const
{
    const std::lock_guard lock(m_mutex);
    return m_underWay > 0 ? Clock::Duration::zero() : m_clock.now() - m_lastEnded;
}

void HttpService::stop()
{
    if (m_daemon)
        MHD_stop_daemon(std::exchange(m_daemon, nullptr));
}
