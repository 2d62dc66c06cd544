#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <map>
#include <mutex>

// What GET /metrics tells, kept from any thread: requests by status, conversions
// by outcome, time per conversion and time waiting in the queue (histograms),
// office starts by cause, and the queue length and offices busy now.
class ServiceMetrics {
public:
    void request(int status);
    // outcome: "converted", "failed" and so on; the seconds go into the histograms.
    void conversion(const QString &outcome, double queuedSeconds, double convertingSeconds);
    // cause: "start" (the first), "memory" (grown past its bound), "ended" (crashed,
    // killed or hung during a document), "limit" (past the document limit),
    // "cancelled" (its client went away).
    void officeStarted(const QString &cause);
    void setQueueLength(int length);
    // Requests whose headers are in, waiting in line for a place, and places held.
    void setPlaces(int waiting, int taken);
    void setOfficesBusy(int busy);
    // Bodies arriving now, the bytes they have brought, and those cut off for
    // another's room, all told.
    void setUploads(int count, qint64 bytes, qint64 cutForRoom);
    // Whether the offices run confined (OfficeConfinement.h).
    void setOfficeConfined(bool confined);
    bool officeConfined() const;

    // The Prometheus text exposition format.
    QByteArray text() const;

private:
    struct Histogram {
        std::array<qint64, 12> counts{}; // per bucket of kBounds, not cumulative
        qint64 count = 0;
        double sum = 0;
        void add(double seconds);
        void write(QByteArray &out, const char *name, const char *help) const;
    };

    mutable std::mutex m_mutex;
    std::map<int, qint64> m_requests;
    std::map<QString, qint64> m_conversions;
    std::map<QString, qint64> m_officeStarts;
    Histogram m_converting;
    Histogram m_queued;
    int m_queueLength = 0;
    int m_waitingForPlace = 0;
    int m_placesTaken = 0;
    int m_officesBusy = 0;
    int m_uploads = 0;
    qint64 m_uploadBytes = 0;
    qint64 m_uploadsCutForRoom = 0;
    bool m_officeConfined = true;
};
