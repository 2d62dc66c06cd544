#pragma once

#include "util/SystemError.h"

#include <QString>
#include <com/sun/star/io/XOutputStream.hpp>
#include <cppuhelper/implbase1.hxx>
#include <mutex>

// The file a text save goes into, written by the program itself: the office hands
// its bytes to this stream (a save to "private:stream" with an OutputStream), so
// that a write the disk refuses or takes only in part is seen here at once, and is
// not lost inside the office, which reports a save as complete whatever its own
// writes met. The office calls it from the connection's threads.
class CheckedFileStream final : public cppu::WeakImplHelper1<css::io::XOutputStream> {
public:
    // Opens `path` for writing, emptied, or makes it private when it is missing
    // (unless it is a save's hidden file, which its owner makes); never follows a
    // link. Throws AppError when it cannot.
    explicit CheckedFileStream(const QString &path);
    ~CheckedFileStream() override;

    void SAL_CALL writeBytes(const css::uno::Sequence<sal_Int8> &data) override;
    void SAL_CALL flush() override;
    void SAL_CALL closeOutput() override;

    // After the save: throws TextNotStored when any write failed or fell short, or when
    // the file cannot be made to reach the disk (fsync). Further writes are refused.
    void finish();
    // The write error met, as the user reads it; empty when there was none.
    QString failure() const;
    // Throws TextNotStored with failure(), when there is one.
    void throwFailure() const;
    // The bytes written so far.
    qint64 written() const;

private:
    mutable std::mutex m_mutex;
    FileDescriptor m_file;
    int m_error = 0; // errno of the first failed write; ENOSPC for a short one
    qint64 m_written = 0;
    QString m_folder; // messages name the folder: the file itself is hidden
};
