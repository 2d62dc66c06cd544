#include "convert/office/DocumentFileStream.h"

#include <algorithm>
#include <cerrno>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/io/NotConnectedException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

DocumentFileStream::DocumentFileStream(FileDescriptor file) : m_file(std::move(file)) {}

void DocumentFileStream::checkOpen() const
{
    if (m_file.get() < 0)
        throw css::io::NotConnectedException(rtl::OUString("the document is closed"),
                                             static_cast<cppu::OWeakObject *>(const_cast<DocumentFileStream *>(this)));
}

sal_Int32 SAL_CALL DocumentFileStream::readBytes(css::uno::Sequence<sal_Int8> &data, sal_Int32 count)
{
    if (count < 0)
        throw css::io::IOException(rtl::OUString("a negative count"), static_cast<cppu::OWeakObject *>(this));
    const std::lock_guard lock(m_mutex);
    checkOpen();
    data.realloc(count);
    sal_Int32 done = 0;
    while (done < count) {
        const ssize_t got = ::pread(m_file.get(), data.getArray() + done, size_t(count - done), m_position);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw css::io::IOException(rtl::OUString("the document could not be read"),
                                       static_cast<cppu::OWeakObject *>(this));
        if (got == 0)
            break;
        done += sal_Int32(got);
        m_position += got;
    }
    data.realloc(done);
    return done;
}

sal_Int32 SAL_CALL DocumentFileStream::readSomeBytes(css::uno::Sequence<sal_Int8> &data, sal_Int32 most)
{
    return readBytes(data, most);
}

void SAL_CALL DocumentFileStream::skipBytes(sal_Int32 count)
{
    const std::lock_guard lock(m_mutex);
    checkOpen();
    m_position += std::max<sal_Int32>(count, 0);
}

sal_Int32 SAL_CALL DocumentFileStream::available()
{
    const sal_Int64 left = std::max<sal_Int64>(getLength() - getPosition(), 0);
    return sal_Int32(std::min<sal_Int64>(left, std::numeric_limits<sal_Int32>::max()));
}

void SAL_CALL DocumentFileStream::closeInput()
{
    const std::lock_guard lock(m_mutex);
    m_file.reset();
}

void SAL_CALL DocumentFileStream::seek(sal_Int64 position)
{
    if (position < 0)
        throw css::lang::IllegalArgumentException(rtl::OUString("a negative position"),
                                                  static_cast<cppu::OWeakObject *>(this), 0);
    const std::lock_guard lock(m_mutex);
    checkOpen();
    m_position = position;
}

sal_Int64 SAL_CALL DocumentFileStream::getPosition()
{
    const std::lock_guard lock(m_mutex);
    checkOpen();
    return m_position;
}

sal_Int64 SAL_CALL DocumentFileStream::getLength()
{
    const std::lock_guard lock(m_mutex);
    checkOpen();
    struct stat info {};
    if (::fstat(m_file.get(), &info) != 0)
        throw css::io::IOException(rtl::OUString("the document could not be read"),
                                   static_cast<cppu::OWeakObject *>(this));
    return info.st_size;
}
