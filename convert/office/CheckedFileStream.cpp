#include "convert/office/CheckedFileStream.h"

#include "convert/TargetFile.h"
#include "util/AppError.h"
#include "util/SystemError.h"
#include "util/WriteAll.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/io/NotConnectedException.hpp>
#include <fcntl.h>
#include <unistd.h>

CheckedFileStream::CheckedFileStream(const QString &path) : m_folder(QFileInfo(path).absolutePath())
{
    // A hidden file of a save was made (and listed as partial) before the save
    // began, and is never made again here: once the window's close has removed the
    // partial files, a save that was starting meanwhile must not leave one behind.
    const int create = IsTemporaryTextFileName(path) ? 0 : O_CREAT;
    m_file.reset(
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | create, 0600));
    if (m_file.get() < 0) {
        const int error = errno;
        throw AppError(QStringLiteral("No text file can be written into %1: %2.").arg(m_folder, SystemErrorText(error)));
    }
}

CheckedFileStream::~CheckedFileStream() = default;

void SAL_CALL CheckedFileStream::writeBytes(const css::uno::Sequence<sal_Int8> &data)
{
    const std::lock_guard lock(m_mutex);
    if (m_file.get() < 0)
        throw css::io::NotConnectedException(rtl::OUString("the text file is closed"), static_cast<cppu::OWeakObject *>(this));
    if (m_error != 0)
        throw css::io::IOException(rtl::OUString("an earlier write to the text file failed"), static_cast<cppu::OWeakObject *>(this));
    if (!WriteAll(m_file.get(), reinterpret_cast<const char *>(data.getConstArray()), size_t(data.getLength()))) {
        m_error = errno;
        throw css::io::IOException(rtl::OUString("the text file could not be written"), static_cast<cppu::OWeakObject *>(this));
    }
    m_written += data.getLength();
}

void SAL_CALL CheckedFileStream::flush()
{
    // Nothing is held back here: every write went to the file as it came.
}

void SAL_CALL CheckedFileStream::closeOutput()
{
    // The file stays open for finish(), which makes it reach the disk.
}

QString CheckedFileStream::failure() const
{
    const std::lock_guard lock(m_mutex);
    if (m_error == 0)
        return {};
    if (IsDiskFull(m_error))
        return QStringLiteral("The disk that holds %1 is full: the text could not be written whole, so no text "
                              "file was written or replaced.")
            .arg(m_folder);
    return QStringLiteral("The text could not be written into %1 (%2), so no text file was written or replaced.")
        .arg(m_folder, SystemErrorText(m_error));
}

void CheckedFileStream::throwFailure() const
{
    const QString why = failure();
    if (!why.isEmpty()) {
        const std::lock_guard lock(m_mutex);
        throw TextNotStored(why, IsDiskFull(m_error));
    }
}

qint64 CheckedFileStream::written() const
{
    const std::lock_guard lock(m_mutex);
    return m_written;
}

void CheckedFileStream::finish()
{
    try {
        throwFailure();
    } catch (const TextNotStored &) {
        const std::lock_guard lock(m_mutex);
        m_file.reset();
        throw;
    }
    const std::lock_guard lock(m_mutex);
    if (m_file.get() >= 0 && ::fsync(m_file.get()) != 0) {
        const int error = errno;
        m_file.reset();
        throw TextNotStored(QStringLiteral("The text could not be written to the disk that holds %1 (%2), so no text "
                                      "file was written or replaced.")
                           .arg(m_folder, SystemErrorText(error)),
                            IsDiskFull(error));
    }
    m_file.reset();
}
