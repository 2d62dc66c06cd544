#pragma once

#include "util/SystemError.h"

#include <com/sun/star/io/XInputStream.hpp>
#include <com/sun/star/io/XSeekable.hpp>
#include <cppuhelper/implbase2.hxx>
#include <mutex>

// A document's bytes as the office reads them: the file is opened and read by this
// program, and the office (which need not see the file at all) calls this stream
// from the connection's threads. Seekable, as the office's package reader needs.
class DocumentFileStream final : public cppu::WeakImplHelper2<css::io::XInputStream, css::io::XSeekable> {
public:
    // Takes an open descriptor of a regular file.
    explicit DocumentFileStream(FileDescriptor file);

    sal_Int32 SAL_CALL readBytes(css::uno::Sequence<sal_Int8> &data, sal_Int32 count) override;
    sal_Int32 SAL_CALL readSomeBytes(css::uno::Sequence<sal_Int8> &data, sal_Int32 most) override;
    void SAL_CALL skipBytes(sal_Int32 count) override;
    sal_Int32 SAL_CALL available() override;
    void SAL_CALL closeInput() override;

    void SAL_CALL seek(sal_Int64 position) override;
    sal_Int64 SAL_CALL getPosition() override;
    sal_Int64 SAL_CALL getLength() override;

private:
    void checkOpen() const;

    std::mutex m_mutex;
    FileDescriptor m_file;
    sal_Int64 m_position = 0;
};
