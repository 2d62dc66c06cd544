#include "serve/HttpService.h"

#include "serve/ConversionService.h"
#include "serve/RequestBody.h"
#include "serve/ServiceLog.h"
#include "serve/ServiceMetrics.h"
#include "util/AppError.h"
#include "util/PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <cmath>
#include <cstdarg>
#include <fcntl.h>
#include <memory>
#include <microhttpd.h>
#include <optional>
#include <sys/stat.h>

namespace {

constexpr unsigned kIdleSeconds = 30;       // a connection that sends nothing for so long is closed
constexpr unsigned kConnectionLimit = 1000; // connections at once, each with a thread
constexpr int kRetryWhenFull = 1;
constexpr int kRetryWhenNoOffice = 10;

const QString kConvert = QStringLiteral("/convert");

// One request, from its first line to the end of its answer.
struct Exchange {
    QString method;
    QString path;
    QString folder; // the request's private folder, when it has one
    std::unique_ptr<RequestBody> body;
    bool answered = false;
    int status = 0;
    QString error;
    QString reason;
    qint64 bytesOut = 0;
    std::optional<ConversionResult> conversion;
};

using Header = std::pair<const char *, QByteArray>;

double rounded(double seconds)
{
    return std::round(seconds * 1000) / 1000;
}

MHD_Result queue(MHD_Connection *connection, Exchange &exchange, int status, MHD_Response *response)
{
    exchange.answered = true;
    exchange.status = status;
    const MHD_Result queued = MHD_queue_response(connection, unsigned(status), response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Result answer(MHD_Connection *connection, Exchange &exchange, int status, const QByteArray &body,
                  const char *type, const QList<Header> &headers = {})
{
    MHD_Response *response =
        MHD_create_response_from_buffer(size_t(body.size()), const_cast<char *>(body.constData()), MHD_RESPMEM_MUST_COPY);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    for (const auto &[name, value] : headers)
        MHD_add_response_header(response, name, value.constData());
    exchange.bytesOut = body.size();
    return queue(connection, exchange, status, response);
}

// {"error": code, "reason": text}, and for 503 when to try again.
MHD_Result answerError(MHD_Connection *connection, Exchange &exchange, int status, const QString &code,
                       const QString &reason, int retryAfter = 0, bool close = false)
{
    exchange.error = code;
    exchange.reason = reason;
    const QByteArray body =
        QJsonDocument(QJsonObject{{QStringLiteral("error"), code}, {QStringLiteral("reason"), reason}})
            .toJson(QJsonDocument::Compact)
        + '\n';
    QList<Header> headers;
    if (retryAfter > 0)
        headers.append(Header{MHD_HTTP_HEADER_RETRY_AFTER, QByteArray::number(retryAfter)});
    if (close)
        headers.append(Header{MHD_HTTP_HEADER_CONNECTION, "close"});
    return answer(connection, exchange, status, body, "application/json", headers);
}

MHD_Result answerText(MHD_Connection *connection, Exchange &exchange, const QString &textFile)
{
    const int fd = ::open(QFile::encodeName(textFile).constData(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        if (fd >= 0)
            ::close(fd);
        return answerError(connection, exchange, MHD_HTTP_INTERNAL_SERVER_ERROR, QStringLiteral("not-read"),
                           QStringLiteral("The text was written but could not be read back."));
    }
    // The response owns the descriptor from here on.
    MHD_Response *response = MHD_create_response_from_fd(uint64_t(info.st_size), fd);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain; charset=utf-8");
    exchange.bytesOut = info.st_size;
    return queue(connection, exchange, MHD_HTTP_OK, response);
}

MHD_Result answerWrongMethod(MHD_Connection *connection, Exchange &exchange, const char *allowed)
{
    MHD_Response *response = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
    MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, allowed);
    exchange.error = QStringLiteral("method-not-allowed");
    return queue(connection, exchange, MHD_HTTP_METHOD_NOT_ALLOWED, response);
}

// The office's words name the request's private files; the client knows the
// document by its own name.
QString clientReason(QString reason, const QString &folder)
{
    return reason.replace(QDir(folder).filePath(QStringLiteral("document")) + QLatin1Char('/'), QString())
        .replace(QDir(folder).filePath(QStringLiteral("text.txt")), QStringLiteral("the text"));
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
            exchange = new Exchange{QString::fromUtf8(method), QString::fromUtf8(url), {}, {}, false, 0, {}, {}, 0, {}};
            *context = exchange;
            {
                const std::lock_guard lock(service.m_mutex);
                ++service.m_underWay;
            }
            if (service.m_stopping)
                return answerError(connection, *exchange, MHD_HTTP_SERVICE_UNAVAILABLE, QStringLiteral("stopping"),
                                   QStringLiteral("The service is stopping."), kRetryWhenNoOffice, true);
            if (exchange->path != kConvert || exchange->method != QLatin1String("POST"))
                return route(service, connection, *exchange);
            return beginConversion(service, connection, *exchange);
        }
        if (*size != 0) {
            const bool taken = !exchange->body || exchange->answered || exchange->body->take(data, *size);
            *size = 0;
            if (taken || exchange->body->problem() != RequestBody::Problem::TooLarge)
                return MHD_YES; // any other problem is answered once the body is in
            // The library answers only once the body is in, so a body without a
            // length that passes the bound is cut off here instead of being read on.
            exchange->status = MHD_HTTP_CONTENT_TOO_LARGE;
            exchange->error = QStringLiteral("too-large");
            exchange->reason = exchange->body->problemText();
            return MHD_NO;
        }
        if (exchange->answered)
            return MHD_YES;
        return convert(service, connection, *exchange);
    }

    static MHD_Result route(HttpService &service, MHD_Connection *connection, Exchange &exchange)
    {
        const bool get = exchange.method == QLatin1String("GET") || exchange.method == QLatin1String("HEAD");
        if (exchange.path == kConvert)
            return answerWrongMethod(connection, exchange, "POST");
        if (exchange.path == QLatin1String("/health"))
            return get ? answer(connection, exchange, MHD_HTTP_OK, "ok\n", "text/plain; charset=utf-8")
                       : answerWrongMethod(connection, exchange, "GET");
        if (exchange.path == QLatin1String("/ready")) {
            if (!get)
                return answerWrongMethod(connection, exchange, "GET");
            if (service.m_conversions.ready())
                return answer(connection, exchange, MHD_HTTP_OK, "ready\n", "text/plain; charset=utf-8");
            return answerError(connection, exchange, MHD_HTTP_SERVICE_UNAVAILABLE, QStringLiteral("no-office"),
                               QStringLiteral("No office is ready, and none could be started."), kRetryWhenNoOffice);
        }
        if (exchange.path == QLatin1String("/metrics"))
            return get ? answer(connection, exchange, MHD_HTTP_OK, service.m_metrics.text(),
                                "text/plain; version=0.0.4; charset=utf-8")
                       : answerWrongMethod(connection, exchange, "GET");
        return answerError(connection, exchange, MHD_HTTP_NOT_FOUND, QStringLiteral("not-found"),
                           QStringLiteral("There is nothing at %1; documents go to POST /convert.").arg(exchange.path));
    }

    // Before the body: a body announced as too large is refused unread, any other
    // is streamed into the request's private folder.
    static MHD_Result beginConversion(HttpService &service, MHD_Connection *connection, Exchange &exchange)
    {
        if (const auto length = contentLength(connection); length && *length > service.m_maxBytes)
            return answerError(connection, exchange, MHD_HTTP_CONTENT_TOO_LARGE, QStringLiteral("too-large"),
                               QStringLiteral("The body is larger than this service takes (%1 bytes).")
                                   .arg(service.m_maxBytes));
        exchange.folder = QDir(service.m_bodies).filePath(QString::number(++service.m_nextRequest));
        try {
            MakePrivateFolder(exchange.folder);
        } catch (const AppError &error) {
            exchange.folder.clear();
            return answerError(connection, exchange, MHD_HTTP_INTERNAL_SERVER_ERROR, QStringLiteral("not-stored"),
                               error.description());
        }
        const char *name = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "name");
        exchange.body = std::make_unique<RequestBody>(connection, exchange.folder, service.m_maxBytes,
                                                      QByteArray(name ? name : ""));
        return MHD_YES;
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
            return answerError(connection, exchange, MHD_HTTP_INTERNAL_SERVER_ERROR, QStringLiteral("not-stored"),
                               exchange.body->problemText());
        }
        const QString textFile = QDir(exchange.folder).filePath(QStringLiteral("text.txt"));
        Refusal refusal{};
        const auto ticket = service.m_conversions.submit(exchange.body->documentPath(), textFile, refusal);
        if (!ticket) {
            switch (refusal) {
            case Refusal::QueueFull:
                return answerError(connection, exchange, MHD_HTTP_SERVICE_UNAVAILABLE, QStringLiteral("queue-full"),
                                   QStringLiteral("Every office is busy and all %1 places of the queue are taken.")
                                       .arg(service.m_conversions.queuePlaces()),
                                   kRetryWhenFull);
            case Refusal::NoOffice:
                return answerError(connection, exchange, MHD_HTTP_SERVICE_UNAVAILABLE, QStringLiteral("no-office"),
                                   QStringLiteral("No office could be started."), kRetryWhenNoOffice);
            case Refusal::Stopping:
                return answerError(connection, exchange, MHD_HTTP_SERVICE_UNAVAILABLE, QStringLiteral("stopping"),
                                   QStringLiteral("The service is stopping."), kRetryWhenNoOffice, true);
            }
        }
        // The wait for an office may be long; it is not idleness of the client's.
        MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT, 0U);
        const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        const std::optional<ConversionResult> result = ticket->waitWatching(info ? info->connect_fd : -1);
        MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT, kIdleSeconds);
        if (!result) {
            service.m_conversions.cancel(ticket);
            return MHD_NO; // the client went away: nobody to answer
        }
        exchange.conversion = result;
        const QString reason = clientReason(result->reason, exchange.folder);
        switch (result->outcome) {
        case ConversionOutcome::Converted: return answerText(connection, exchange, textFile);
        case ConversionOutcome::NotConverted:
            return answerError(connection, exchange, MHD_HTTP_BAD_REQUEST, QStringLiteral("not-converted"), reason);
        case ConversionOutcome::PasswordProtected:
            return answerError(connection, exchange, MHD_HTTP_UNPROCESSABLE_CONTENT,
                               QStringLiteral("password-protected"), reason);
        case ConversionOutcome::OverLimit:
            return answerError(connection, exchange, MHD_HTTP_GATEWAY_TIMEOUT, QStringLiteral("over-limit"), reason);
        case ConversionOutcome::OfficeFailed:
            return answerError(connection, exchange, MHD_HTTP_INTERNAL_SERVER_ERROR, QStringLiteral("office-failed"),
                               reason);
        case ConversionOutcome::NoOffice:
            return answerError(connection, exchange, MHD_HTTP_SERVICE_UNAVAILABLE, QStringLiteral("no-office"),
                               reason, kRetryWhenNoOffice);
        case ConversionOutcome::Cancelled: break;
        }
        return answerError(connection, exchange, MHD_HTTP_SERVICE_UNAVAILABLE, QStringLiteral("stopping"),
                           QStringLiteral("The service is stopping."), kRetryWhenNoOffice, true);
    }

    static void completed(void *cls, MHD_Connection *, void **context, MHD_RequestTerminationCode code)
    {
        auto &service = *static_cast<HttpService *>(cls);
        std::unique_ptr<Exchange> exchange(static_cast<Exchange *>(*context));
        *context = nullptr;
        if (!exchange)
            return;
        QJsonObject line{{QStringLiteral("method"), exchange->method}, {QStringLiteral("path"), exchange->path}};
        if (!exchange->answered || code != MHD_REQUEST_TERMINATED_COMPLETED_OK) {
            // nginx's number for a client that closed the connection first.
            if (exchange->status == 0) {
                exchange->status = 499;
                exchange->error = QStringLiteral("client-gone");
            }
            line[QStringLiteral("completed")] = false;
        }
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
        service.m_lastEnded = std::chrono::steady_clock::now();
        if (--service.m_underWay == 0)
            service.m_idle.notify_all();
    }

    static void log(void *, const char *format, va_list arguments)
    {
        char text[512];
        std::vsnprintf(text, sizeof text, format, arguments);
        LogLine({{QStringLiteral("event"), QStringLiteral("http")},
                 {QStringLiteral("reason"), QString::fromLocal8Bit(text).trimmed()}});
    }
};

HttpService::HttpService(ConversionService &conversions, ServiceMetrics &metrics, QString bodies, qint64 maxBytes)
    : m_conversions(conversions), m_metrics(metrics), m_bodies(std::move(bodies)), m_maxBytes(maxBytes)
{
}

HttpService::~HttpService()
{
    stop();
}

void HttpService::start(int listenFd)
{
    m_daemon = MHD_start_daemon(
        MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_USE_ITC
            | MHD_USE_ERROR_LOG,
        0, nullptr, nullptr, &HttpCallbacks::request, this, MHD_OPTION_EXTERNAL_LOGGER, &HttpCallbacks::log, this,
        MHD_OPTION_LISTEN_SOCKET, listenFd,
        MHD_OPTION_NOTIFY_COMPLETED, &HttpCallbacks::completed, this, MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds,
        MHD_OPTION_CONNECTION_LIMIT, kConnectionLimit, MHD_OPTION_END);
    if (!m_daemon)
        throw AppError(QStringLiteral("The HTTP service could not be started."));
}

void HttpService::stopAccepting()
{
    m_stopping = true;
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

std::chrono::steady_clock::duration HttpService::idleTime() const
{
    const std::lock_guard lock(m_mutex);
    return m_underWay > 0 ? std::chrono::steady_clock::duration::zero() : std::chrono::steady_clock::now() - m_lastEnded;
}

void HttpService::stop()
{
    if (m_daemon)
        MHD_stop_daemon(std::exchange(m_daemon, nullptr));
}
