#pragma once

#include "batch/WorkList.h"

#include <mutex>
#include <optional>

// The documents still to be converted, handed out in order to the jobs, one at a
// time, from any thread.
class WorkQueue {
public:
    explicit WorkQueue(QList<BatchDocument> documents) : m_documents(std::move(documents)) {}

    std::optional<BatchDocument> next()
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopped || m_next >= m_documents.size())
            return std::nullopt;
        return m_documents[m_next++];
    }

    // Hands out nothing more.
    void stop()
    {
        const std::lock_guard lock(m_mutex);
        m_stopped = true;
    }

private:
    std::mutex m_mutex;
    QList<BatchDocument> m_documents;
    qsizetype m_next = 0;
    bool m_stopped = false;
};
