#include "convert/office/DocumentInput.h"

#include "convert/office/DocumentFileStream.h"

#include <QFile>
#include <QUrl>
#include <com/sun/star/io/XSeekable.hpp>
#include <fcntl.h>
#include <sys/stat.h>

css::uno::Reference<css::io::XInputStream> DocumentStream(const QString &url)
{
    const QUrl parsed(url);
    if (!parsed.isLocalFile())
        return {};
    // Not blocking on a pipe, which is refused below with anything else that is no
    // regular file.
    FileDescriptor file(
        ::open(QFile::encodeName(parsed.toLocalFile()).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return new DocumentFileStream(std::move(file));
}

void RewindDocumentSource(const css::uno::Sequence<css::beans::PropertyValue> &source)
{
    for (const css::beans::PropertyValue &value : source) {
        if (value.Name != "InputStream")
            continue;
        const css::uno::Reference<css::io::XSeekable> seekable(value.Value, css::uno::UNO_QUERY);
        if (seekable.is())
            seekable->seek(0);
    }
}
