#include "serve/HttpAnswers.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kRetryWhenFull = 1;
// Names the type a converted file that is no Writer document was read as.
constexpr const char *kReadAsHeader = "Tarnwick-Read-As";

struct RefusalRow {
    Refusal refusal;
    const char *error;
    const char *reason;
    int retryAfter;
};
constexpr RefusalRow kRefusals[] = {
    {Refusal::QueueFull, "queue-full", "Every office is busy and every place of the queue is taken.", kRetryWhenFull},
    {Refusal::NoOffice, "no-office", "No office could be started.", kRetryWhenNoOffice},
    {Refusal::Stopping, "stopping", "The service is stopping.", kRetryWhenNoOffice},
};



// Queues the answer; a response the library could not make (no memory) closes the
// connection instead.
MHD_Result queue(MHD_Connection *connection, Answer &exchange, int status, MHD_Response *response)
{
    exchange.answered = true;
    exchange.status = status;
    if (!response) {
        exchange.status = MHD_HTTP_INTERNAL_SERVER_ERROR;
        exchange.error = QStringLiteral("not-answered");
        exchange.reason = QStringLiteral("The service could not make its answer.");
        return MHD_NO;
    }
    const MHD_Result queued = MHD_queue_response(connection, unsigned(status), response);
    MHD_destroy_response(response);
    return queued;
}

} // namespace

MHD_Result answer(MHD_Connection *connection, Answer &exchange, int status, const QByteArray &body,
                  const char *type, const QList<Header> &headers)
{
    MHD_Response *response =
        MHD_create_response_from_buffer(size_t(body.size()), const_cast<char *>(body.constData()), MHD_RESPMEM_MUST_COPY);
    if (response) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
        for (const auto &[name, value] : headers)
            MHD_add_response_header(response, name, value.constData());
    }
    exchange.bytesOut = body.size();
    return queue(connection, exchange, status, response);
}

MHD_Result answerError(MHD_Connection *connection, Answer &exchange, int status, const QString &code,
                       const QString &reason, int retryAfter, bool close)
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

MHD_Result answerText(MHD_Connection *connection, Answer &exchange, const QString &textFile, const QString &readAs)
{
    const int fd = ::open(QFile::encodeName(textFile).constData(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        if (fd >= 0)
            ::close(fd);
        return answerError(connection, exchange, MHD_HTTP_INTERNAL_SERVER_ERROR, QStringLiteral("not-read"),
                           QStringLiteral("The text was written but could not be read back."));
    }
    // The response owns the descriptor from here on, once there is one.
    MHD_Response *response = MHD_create_response_from_fd(uint64_t(info.st_size), fd);
    if (!response) {
        ::close(fd);
        return queue(connection, exchange, MHD_HTTP_OK, nullptr);
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain; charset=utf-8");
    if (!readAs.isEmpty())
        MHD_add_response_header(response, kReadAsHeader, readAs.toUtf8().constData());
    exchange.bytesOut = info.st_size;
    return queue(connection, exchange, MHD_HTTP_OK, response);
}

MHD_Result answerNotStored(MHD_Connection *connection, Answer &exchange, bool diskFull, const QString &reason,
                           bool close)
{
    const OutcomeRow &row = RowOf(diskFull ? ConversionOutcome::NoRoom : ConversionOutcome::NotStored);
    return answerError(connection, exchange, row.status, QString::fromLatin1(row.error),
                       diskFull ? reason + QStringLiteral(" Its disk is full.") : reason, row.retryAfter, close);
}

MHD_Result answerWrongMethod(MHD_Connection *connection, Answer &exchange, const char *allowed)
{
    MHD_Response *response = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
    if (response)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, allowed);
    exchange.error = QStringLiteral("method-not-allowed");
    return queue(connection, exchange, MHD_HTTP_METHOD_NOT_ALLOWED, response);
}


MHD_Result answerRefusal(MHD_Connection *connection, Answer &exchange, Refusal refusal)
{
    const RefusalRow *row = &kRefusals[std::size(kRefusals) - 1];
    for (const RefusalRow &known : kRefusals)
        if (known.refusal == refusal)
            row = &known;
    return answerError(connection, exchange, MHD_HTTP_SERVICE_UNAVAILABLE, QString::fromLatin1(row->error),
                       QString::fromLatin1(row->reason), row->retryAfter, true);
}

MHD_Result answerOutcome(MHD_Connection *connection, Answer &exchange, ConversionOutcome outcome,
                         const QString &reason)
{
    const OutcomeRow &row = RowOf(outcome);
    if (outcome == ConversionOutcome::NotStored || outcome == ConversionOutcome::NoRoom)
        return answerNotStored(connection, exchange, outcome == ConversionOutcome::NoRoom, reason);
    if (outcome == ConversionOutcome::Cancelled)
        return answerRefusal(connection, exchange, Refusal::Stopping);
    return answerError(connection, exchange, row.status, QString::fromLatin1(row.error), reason, row.retryAfter);
}
