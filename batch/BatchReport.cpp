#include "batch/BatchReport.h"

#include "batch/JsonLinesReport.h"
#include "util/PathHelpers.h"
#include "util/PrintableName.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

#include <cmath>
#include <csignal>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int terminalWidth(std::FILE *out)
{
    winsize size{};
    if (::ioctl(::fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 20)
        return size.ws_col;
    return 80;
}

} // namespace

QString SignalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}

namespace {
// The reason as a failure of `document` tells it: the line (and the record) name the
// document first, so the reason calls it "it" instead of naming it again, as the
// office's messages do (the window's boxes need the name). Only the whole path is
// taken, not the start of a longer one.
QString reasonAbout(const QString &document, QString reason)
{
    const auto endsPath = [&](qsizetype end) {
        if (end == reason.size() || QStringLiteral(":;, ").contains(reason[end]))
            return true;
        return reason[end] == QLatin1Char('.') && (end + 1 == reason.size() || reason[end + 1] == QLatin1Char(' '));
    };
    for (qsizetype at = 0; !document.isEmpty() && (at = reason.indexOf(document, at)) >= 0;) {
        if (endsPath(at + document.size())) {
            reason.replace(at, document.size(), QStringLiteral("it"));
            at += 2;
        } else {
            at += document.size();
        }
    }
    return reason;
}

const QString kConverted = QStringLiteral("converted");
const QString kFailed = QStringLiteral("failed");
const QString kSkipped = QStringLiteral("skipped");
const QString kUpToDate = QStringLiteral("up-to-date");

} // namespace

BatchReport::BatchReport(std::FILE *out, bool terminal, bool quiet)
    : m_out(out), m_terminal(terminal), m_quiet(quiet)
{
    m_clock.start();
}

QString BatchReport::clockText(qint64 seconds)
{
    const qint64 hours = seconds / 3600;
    const QString minutesSeconds = QStringLiteral("%1:%2").arg(seconds / 60 % 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (hours == 0)
        return minutesSeconds;
    return QStringLiteral("%1:%2").arg(hours).arg(minutesSeconds.rightJustified(5, QLatin1Char('0')));
}

void BatchReport::begin(int documents, qint64 bytes)
{
    const std::lock_guard lock(m_mutex);
    m_total = documents;
    m_totalBytes = bytes;
    drawProgress();
}

void BatchReport::started(const QString &source)
{
    const std::lock_guard lock(m_mutex);
    m_current.append(source);
    drawProgress();
}

void BatchReport::converted(const BatchDocument &document, double seconds, const QString &readAs)
{
    const std::lock_guard lock(m_mutex);
    ++(readAs.isEmpty() ? m_converted : m_readAsOther);
    ++m_finished;
    m_doneBytes += document.size;
    m_current.removeOne(document.source);
    if (!readAs.isEmpty() && !m_quiet)
        printLine(QStringLiteral("tarnwick: not a Writer document, read as %1: %2")
                      .arg(PrintableText(readAs), PrintableName(QFile::encodeName(document.source))));
    record(QFile::encodeName(document.source), document.target, kConverted, {}, seconds,
           QFileInfo(document.target).size(), readAs);
    drawProgress();
}

void BatchReport::failed(const BatchDocument &document, const QString &officeReason, double seconds)
{
    const QString reason = reasonAbout(document.source, officeReason);
    const std::lock_guard lock(m_mutex);
    ++m_failed;
    ++m_finished;
    m_doneBytes += document.size;
    m_current.removeOne(document.source);
    printFailure(QFile::encodeName(document.source), reason);
    record(QFile::encodeName(document.source), document.target, kFailed, reason, seconds, 0);
    drawProgress();
}

void BatchReport::interrupted(const BatchDocument &document)
{
    const std::lock_guard lock(m_mutex);
    m_current.removeOne(document.source);
}

void BatchReport::failedPath(QByteArrayView systemPath, const QString &reason, const QString &target)
{
    const std::lock_guard lock(m_mutex);
    ++m_failed;
    printFailure(systemPath, reason);
    record(systemPath, target, kFailed, reason, 0, 0);
    drawProgress();
}

void BatchReport::skipped(const SetAside &document)
{
    const std::lock_guard lock(m_mutex);
    ++m_skipped;
    printLine(QStringLiteral("tarnwick: skipped: %1: %2").arg(PrintableText(document.path), PrintableText(document.reason)));
    record(QFile::encodeName(document.path), document.target, kSkipped, document.reason, 0, 0);
}

void BatchReport::upToDate(const BatchDocument &document)
{
    const std::lock_guard lock(m_mutex);
    ++m_upToDate;
    record(QFile::encodeName(document.source), document.target, kUpToDate, {}, 0, QFileInfo(document.target).size());
}

void BatchReport::record(QByteArrayView source, const QString &target, const QString &status, const QString &reason,
                         double seconds, qint64 bytes, const QString &readAs)
{
    if (m_record)
        m_record->document(source, m_targetsToStdout && !target.isEmpty() ? QStringLiteral("-") : target, status,
                           reason, seconds, bytes, readAs);
}

void BatchReport::note(const QString &line)
{
    const std::lock_guard lock(m_mutex);
    printLine(QStringLiteral("tarnwick: ") + PrintableText(line));
}

void BatchReport::tick()
{
    const std::lock_guard lock(m_mutex);
    drawProgress();
}

int BatchReport::finish(int stopSignal)
{
    const std::lock_guard lock(m_mutex);
    clearProgress();
    const int notConverted = m_total - m_finished;
    if (stopSignal != 0 && m_walkStopped)
        std::fprintf(m_out, "tarnwick: stopped by %s during the folder walk; the number of documents is not known.\n",
                     qPrintable(SignalName(stopSignal)));
    else if (stopSignal != 0)
        std::fprintf(m_out, "tarnwick: stopped by %s; %d documents were not converted.\n",
                     qPrintable(SignalName(stopSignal)), notConverted);
    if (!m_quiet) {
        QString summary = QStringLiteral("Converted %1").arg(m_converted);
        if (m_readAsOther > 0)
            summary += QStringLiteral(", read as another type than Writer %1").arg(m_readAsOther);
        summary += QStringLiteral(", failed %1, skipped %2").arg(m_failed).arg(m_skipped);
        if (m_upToDate > 0)
            summary += QStringLiteral(", up to date %1").arg(m_upToDate);
        if (notConverted > 0)
            summary += QStringLiteral(", not converted %1").arg(notConverted);
        summary += QStringLiteral(", time %1.\n").arg(clockText(m_clock.elapsed() / 1000));
        std::fputs(summary.toLocal8Bit().constData(), m_out);
    }
    bool recordWhole = true;
    if (m_record) {
        QJsonObject summary{{kConverted, m_converted},
                            {QStringLiteral("read-as-other"), m_readAsOther},
                            {kFailed, m_failed},
                            {kSkipped, m_skipped},
                            {kUpToDate, m_upToDate},
                            {QStringLiteral("seconds"), std::round(m_clock.elapsed() / 10.0) / 100}};
        // A walk cut short found an unknown part of the documents.
        if (!m_walkStopped)
            summary[QStringLiteral("not-converted")] = notConverted;
        if (stopSignal != 0)
            summary[QStringLiteral("stopped-by")] = SignalName(stopSignal);
        m_record->summary(summary);
        if (!m_record->failure().isEmpty()) {
            recordWhole = false;
            const QString name = m_record->name() == QLatin1String("-") ? QStringLiteral("on standard output")
                                                                        : m_record->name();
            std::fprintf(m_out, "tarnwick: the report %s is incomplete: %s.\n",
                         PrintableText(name).toLocal8Bit().constData(),
                         PrintableText(m_record->failure()).toLocal8Bit().constData());
        }
    }
    std::fflush(m_out);
    if (stopSignal != 0)
        return 128 + stopSignal;
    return m_failed == 0 && m_skipped == 0 && recordWhole ? 0 : 1;
}

int BatchReport::convertedCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_converted;
}

int BatchReport::failedCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_failed;
}

int BatchReport::skippedCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_skipped;
}

int BatchReport::upToDateCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_upToDate;
}

void BatchReport::printFailure(QByteArrayView systemPath, const QString &reason)
{
    printLine(QStringLiteral("tarnwick: failed: %1: %2").arg(PrintableName(systemPath), PrintableText(reason)));
}

void BatchReport::printLine(const QString &line)
{
    clearProgress();
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), m_out);
    std::fflush(m_out);
}

void BatchReport::clearProgress()
{
    if (!m_progressShown)
        return;
    std::fputs("\r\033[K", m_out);
    m_progressShown = false;
}

void BatchReport::drawProgress()
{
    if (!m_terminal || m_quiet || m_total == 0)
        return;
    const qint64 elapsed = m_clock.elapsed() / 1000;
    QString left = QStringLiteral("estimating");
    // Documents differ in size a thousandfold: bytes done tell the time left better
    // than documents done.
    if (m_doneBytes > 0 && m_totalBytes > 0) {
        const double remaining = double(m_totalBytes - m_doneBytes) / double(m_doneBytes) * double(m_clock.elapsed());
        left = QStringLiteral("about %1 left").arg(clockText(qint64(remaining / 1000)));
    }
    QStringList names;
    for (const QString &path : m_current)
        names << PrintableText(FileNameOf(path));
    QString line = QStringLiteral("[%1/%2] %3 gone, %4  %5")
                       .arg(m_finished)
                       .arg(m_total)
                       .arg(clockText(elapsed), left, names.join(QStringLiteral(", ")));
    const int width = terminalWidth(m_out) - 1;
    if (line.size() > width)
        line = line.left(width - 1) + QChar(0x2026);
    if (m_progressShown && line == m_progressLine)
        return;
    m_progressLine = line;
    std::fputs(("\r\033[K" + line).toLocal8Bit().constData(), m_out);
    std::fflush(m_out);
    m_progressShown = true;
}
