#include "convert/office/DocumentInput.h"

#include "convert/office/DocumentFileStream.h"
#include "convert/office/UnoString.h"

#include <QFile>
#include <QUrl>
#include <com/sun/star/io/XSeekable.hpp>
#include <fcntl.h>
#include <initializer_list>
#include <sys/stat.h>

namespace {

css::beans::PropertyValue argument(const char *name, const css::uno::Any &value)
{
    css::beans::PropertyValue property;
    property.Name = rtl::OUString::createFromAscii(name);
    property.Value = value;
    return property;
}

css::uno::Sequence<css::beans::PropertyValue> arguments(std::initializer_list<css::beans::PropertyValue> values)
{
    return {values.begin(), static_cast<sal_Int32>(values.size())};
}

} // namespace

css::uno::Sequence<css::beans::PropertyValue> DocumentSource(const QString &url)
{
    const css::beans::PropertyValue location = argument("URL", css::uno::Any(toOUString(url)));
    const QUrl parsed(url);
    if (!parsed.isLocalFile())
        return arguments({location});
    // Not blocking on a pipe, which is refused below with anything else that is no
    // regular file.
    FileDescriptor file(
        ::open(QFile::encodeName(parsed.toLocalFile()).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return arguments({location});
    const css::uno::Reference<css::io::XInputStream> stream(new DocumentFileStream(std::move(file)));
    return arguments({location, argument("InputStream", css::uno::Any(stream))});
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
