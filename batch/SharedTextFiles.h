#pragma once

#include "convert/TargetFile.h"

#include <mutex>

// The text files the batch has written, shared by its jobs: the run's target rules
// (no link, no read-only or odd file, no text file written twice) with a lock, as
// several jobs check and commit at once.
class SharedTextFiles {
public:
    // `tree`: the output folder of a mirrored tree (see RunTextFiles).
    explicit SharedTextFiles(const QString &tree = {}) : m_files(tree) {}

    void checkTarget(const QString &target, const QString &source) const
    {
        const std::lock_guard lock(m_mutex);
        m_files.checkTarget(target, source);
    }
    TargetFolder openFolderOf(const QString &target, const QString &source) const
    {
        return m_files.openFolderOf(target, source); // asks the system only
    }
    void commit(TemporaryTextFile &saved, const QString &target, const QString &source)
    {
        const std::lock_guard lock(m_mutex);
        saved.commitAs(m_files, target, source);
    }

private:
    mutable std::mutex m_mutex;
    RunTextFiles m_files;
};
