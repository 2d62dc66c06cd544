#include "serve/ServiceMetrics.h"

namespace {

constexpr std::array<double, 12> kBounds{0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30, 60, 300, 1800};

void writeHeader(QByteArray &out, const char *name, const char *help, const char *type)
{
    out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}

template <typename Key>
void writeCounter(QByteArray &out, const char *name, const char *help, const char *label,
                  const std::map<Key, qint64> &values)
{
    writeHeader(out, name, help, "counter");
    for (const auto &[key, value] : values) {
        QByteArray shown;
        if constexpr (std::is_same_v<Key, int>)
            shown = QByteArray::number(key);
        else
            shown = key.toUtf8();
        out += QByteArray(name) + '{' + label + "=\"" + shown + "\"} " + QByteArray::number(value) + '\n';
    }
}

void writeGauge(QByteArray &out, const char *name, const char *help, qint64 value, const char *type = "gauge")
{
    writeHeader(out, name, help, type);
    out += QByteArray(name) + ' ' + QByteArray::number(value) + '\n';
}

} // namespace

void ServiceMetrics::Histogram::add(double seconds)
{
    for (size_t i = 0; i < kBounds.size(); ++i) {
        if (seconds <= kBounds[i]) {
            ++counts[i];
            break;
        }
    }
    ++count;
    sum += seconds;
}

void ServiceMetrics::Histogram::write(QByteArray &out, const char *name, const char *help) const
{
    writeHeader(out, name, help, "histogram");
    qint64 cumulative = 0;
    for (size_t i = 0; i < kBounds.size(); ++i) {
        cumulative += counts[i];
        out += QByteArray(name) + "_bucket{le=\"" + QByteArray::number(kBounds[i]) + "\"} "
               + QByteArray::number(cumulative) + '\n';
    }
    out += QByteArray(name) + "_bucket{le=\"+Inf\"} " + QByteArray::number(count) + '\n';
    out += QByteArray(name) + "_sum " + QByteArray::number(sum, 'g', 12) + '\n';
    out += QByteArray(name) + "_count " + QByteArray::number(count) + '\n';
}

void ServiceMetrics::request(int status)
{
    const std::lock_guard lock(m_mutex);
    ++m_requests[status];
}

void ServiceMetrics::conversion(const QString &outcome, double queuedSeconds, double convertingSeconds)
{
    const std::lock_guard lock(m_mutex);
    ++m_conversions[outcome];
    m_queued.add(queuedSeconds);
    m_converting.add(convertingSeconds);
}

void ServiceMetrics::officeStarted(const QString &cause)
{
    const std::lock_guard lock(m_mutex);
    ++m_officeStarts[cause];
}

void ServiceMetrics::setQueueLength(int length)
{
    const std::lock_guard lock(m_mutex);
    m_queueLength = length;
}

void ServiceMetrics::setPlaces(int waiting, int taken)
{
    const std::lock_guard lock(m_mutex);
    m_waitingForPlace = waiting;
    m_placesTaken = taken;
}

void ServiceMetrics::setUploads(int count, qint64 bytes, qint64 cutForRoom)
{
    const std::lock_guard lock(m_mutex);
    m_uploads = count;
    m_uploadBytes = bytes;
    m_uploadsCutForRoom = cutForRoom;
}

void ServiceMetrics::setOfficesBusy(int busy)
{
    const std::lock_guard lock(m_mutex);
    m_officesBusy = busy;
}

void ServiceMetrics::setOfficeConfined(bool confined)
{
    const std::lock_guard lock(m_mutex);
    m_officeConfined = confined;
}

bool ServiceMetrics::officeConfined() const
{
    const std::lock_guard lock(m_mutex);
    return m_officeConfined;
}

QByteArray ServiceMetrics::text() const
{
    const std::lock_guard lock(m_mutex);
    QByteArray out;
    writeCounter(out, "tarnwick_requests_total", "HTTP requests answered, by status.", "status", m_requests);
    writeCounter(out, "tarnwick_conversions_total", "Documents the offices worked on, by outcome.", "outcome",
                 m_conversions);
    m_converting.write(out, "tarnwick_conversion_seconds", "Time an office worked on a request's document.");
    m_queued.write(out, "tarnwick_queue_wait_seconds", "Time a request waited for an office.");
    writeCounter(out, "tarnwick_office_starts_total", "Offices started, by cause.", "cause", m_officeStarts);
    writeGauge(out, "tarnwick_queue_length", "Requests waiting for an office.", m_queueLength);
    writeGauge(out, "tarnwick_offices_busy", "Offices converting a document.", m_officesBusy);
    writeGauge(out, "tarnwick_places_taken", "Places held by documents, from their whole body to their answers.",
               m_placesTaken);
    writeGauge(out, "tarnwick_places_waiting", "Requests waiting in line, to send their body or for a place.",
               m_waitingForPlace);
    writeGauge(out, "tarnwick_uploads", "Request bodies arriving now.", m_uploads);
    writeGauge(out, "tarnwick_upload_bytes", "Bytes the bodies arriving now have brought.", m_uploadBytes);
    writeGauge(out, "tarnwick_uploads_cut_total", "Uploads cut off, the slowest, to let another in.",
               m_uploadsCutForRoom, "counter");
    writeGauge(out, "tarnwick_office_confined", "1 when the offices run confined, 0 when unconfined.",
               m_officeConfined ? 1 : 0);
    return out;
}
