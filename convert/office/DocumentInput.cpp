#include "convert/office/DocumentInput.h"

#include "convert/office/UnoString.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <com/sun/star/io/XInputStream.hpp>
#include <com/sun/star/io/XSeekable.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <initializer_list>
#include <limits>

namespace {

// The most a UNO byte sequence holds.
constexpr qint64 kLargestDocument = std::numeric_limits<sal_Int32>::max();

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

css::uno::Sequence<css::beans::PropertyValue>
DocumentSource(const css::uno::Reference<css::uno::XComponentContext> &context, const QString &url)
{
    const css::beans::PropertyValue location = argument("URL", css::uno::Any(toOUString(url)));
    const QUrl parsed(url);
    if (!context.is() || !parsed.isLocalFile())
        return arguments({location});
    // A pipe or a device would never end.
    const QFileInfo info(parsed.toLocalFile());
    QFile file(info.filePath());
    if (!info.isFile() || info.size() > kLargestDocument || !file.open(QIODevice::ReadOnly))
        return arguments({location});
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return arguments({location});
    const css::uno::Sequence<sal_Int8> content(reinterpret_cast<const sal_Int8 *>(bytes.constData()),
                                               static_cast<sal_Int32>(bytes.size()));
    const css::uno::Any contentArgument(content);
    const css::uno::Reference<css::io::XInputStream> stream(
        context->getServiceManager()->createInstanceWithArgumentsAndContext(
            "com.sun.star.io.SequenceInputStream", css::uno::Sequence<css::uno::Any>(&contentArgument, 1), context),
        css::uno::UNO_QUERY);
    if (!stream.is())
        return arguments({location});
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
