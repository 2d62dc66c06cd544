#pragma once

#include "serve/ConversionService.h"
#include "serve/ConversionTicket.h"
#include "serve/Outcomes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <microhttpd.h>
#include <utility>

// The service's answers: outcomes as their table says (serve/Outcomes.h), refusals
// as theirs.


// What a request was answered, for its log line and the metrics.
struct Answer {
    bool answered = false;
    int status = 0;
    QString error;
    QString reason;
    qint64 bytesOut = 0;
};


using Header = std::pair<const char *, QByteArray>;

MHD_Result answer(MHD_Connection *connection, Answer &exchange, int status, const QByteArray &body,
                  const char *type, const QList<Header> &headers = {});
// {"error": code, "reason": text}, and for 503 when to try again.
MHD_Result answerError(MHD_Connection *connection, Answer &exchange, int status, const QString &code,
                       const QString &reason, int retryAfter = 0, bool close = false);
// The text; a document the office read as another type than a Writer document says
// which in a header of its own.
MHD_Result answerText(MHD_Connection *connection, Answer &exchange, const QString &textFile, const QString &readAs);
// A fault of the service's own storage, never of the request: 507 for a full disk,
// else 500. `reason` names none of its folders.
MHD_Result answerNotStored(MHD_Connection *connection, Answer &exchange, bool diskFull, const QString &reason,
                           bool close = false);
MHD_Result answerWrongMethod(MHD_Connection *connection, Answer &exchange, const char *allowed);
// A refusal closes the connection: a body the client sends anyway is not read.
MHD_Result answerRefusal(MHD_Connection *connection, Answer &exchange, Refusal refusal);
// A conversion's outcome other than a text, as its row says.
MHD_Result answerOutcome(MHD_Connection *connection, Answer &exchange, ConversionOutcome outcome,
                         const QString &reason);
