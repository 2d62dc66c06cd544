#include "batch/BatchReport.h"

#include "batch/PrintableName.h"
#include "util/PathHelpers.h"

#include <QFile>

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

void BatchReport::converted(const QString &source, qint64 bytes)
{
    const std::lock_guard lock(m_mutex);
    ++m_converted;
    m_doneBytes += bytes;
    m_current.removeOne(source);
    drawProgress();
}

void BatchReport::failed(const QString &path, const QString &reason, qint64 bytes)
{
    const std::lock_guard lock(m_mutex);
    ++m_failed;
    m_doneBytes += bytes;
    m_current.removeOne(path);
    printFailure(QFile::encodeName(path), reason);
    drawProgress();
}

void BatchReport::failedPath(QByteArrayView systemPath, const QString &reason)
{
    const std::lock_guard lock(m_mutex);
    ++m_failed;
    printFailure(systemPath, reason);
    drawProgress();
}

void BatchReport::skipped(const QString &path, const QString &reason)
{
    const std::lock_guard lock(m_mutex);
    ++m_skipped;
    printLine(QStringLiteral("tarnwick: skipped: %1: %2").arg(PrintableText(path), PrintableText(reason)));
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

int BatchReport::finish()
{
    const std::lock_guard lock(m_mutex);
    clearProgress();
    if (!m_quiet) {
        const QString summary = QStringLiteral("Converted %1, failed %2, skipped %3, time %4.\n")
                                    .arg(m_converted)
                                    .arg(m_failed)
                                    .arg(m_skipped)
                                    .arg(clockText(m_clock.elapsed() / 1000));
        std::fputs(summary.toLocal8Bit().constData(), m_out);
    }
    std::fflush(m_out);
    return m_failed == 0 && m_skipped == 0 ? 0 : 1;
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
                       .arg(m_converted + m_failed)
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
