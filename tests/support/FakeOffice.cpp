#include "support/FakeOffice.h"

#include "util/AppError.h"

#include <QFile>
#include <QUrl>

namespace {

struct FakeObject : OfficeObject {
    explicit FakeObject(QString kindOf, QString sourceOf = {}) : kind(std::move(kindOf)), source(std::move(sourceOf)) {}
    QString kind;
    QString source; // the document this object belongs to
};

const FakeObject &need(const OfficeRef &ref, const char *kind)
{
    auto *object = dynamic_cast<FakeObject *>(ref.get());
    if (!object || object->kind != QLatin1String(kind))
        throw AppError(QStringLiteral("Object variable not set (%1)").arg(QLatin1String(kind)));
    return *object;
}

} // namespace

OfficeRef FakeOffice::createServiceManager()
{
    calls << QStringLiteral("serviceManager");
    if (unreachable)
        throw AppError(QStringLiteral("The office cannot be started."));
    return std::make_shared<FakeObject>(QStringLiteral("serviceManager"));
}

OfficeRef FakeOffice::createInstance(const OfficeRef &serviceManager, const QString &serviceName)
{
    need(serviceManager, "serviceManager");
    calls << QStringLiteral("create ") + serviceName;
    return std::make_shared<FakeObject>(serviceName);
}

OfficeRef FakeOffice::loadComponentFromURL(const OfficeRef &desktop, const QString &url,
                                           const QString &targetFrame, short searchFlags)
{
    need(desktop, "com.sun.star.frame.Desktop");
    calls << QStringLiteral("load %1 %2 %3").arg(url, targetFrame).arg(searchFlags);
    if (duringLoad)
        duringLoad();
    const QString path = QUrl(url).toLocalFile();
    if (failingSources.contains(path) || !QFile::exists(path))
        throw AppError(QStringLiteral("Unsupported URL <%1>").arg(url));
    return std::make_shared<FakeObject>(QStringLiteral("document"), path);
}

OfficeRef FakeOffice::getCurrentController(const OfficeRef &document)
{
    const FakeObject &doc = need(document, "document");
    return std::make_shared<FakeObject>(QStringLiteral("controller"), doc.source);
}

OfficeRef FakeOffice::getFrame(const OfficeRef &controller)
{
    const FakeObject &c = need(controller, "controller");
    return std::make_shared<FakeObject>(QStringLiteral("frame"), c.source);
}

PropertyValue FakeOffice::newPropertyValue(const QString &name, const QString &value)
{
    createServiceManager();
    return PropertyValue{name, value};
}

void FakeOffice::executeDispatch(const OfficeRef &dispatcher, const OfficeRef &frame,
                                 const QString &command, const QString &targetFrame,
                                 short searchFlags, const QList<PropertyValue> &arguments)
{
    need(dispatcher, "com.sun.star.frame.DispatchHelper");
    const FakeObject &f = need(frame, "frame");
    calls << QStringLiteral("dispatch %1 [%2] %3 %4=%5 %6=%7")
                 .arg(command, targetFrame).arg(searchFlags)
                 .arg(arguments.value(0).name, arguments.value(0).value,
                      arguments.value(1).name, arguments.value(1).value);
    if (refuseSaves)
        throw AppError(QStringLiteral("The office could not save the document."));
    QFile out(QUrl(arguments.value(0).value).toLocalFile());
    if (!out.open(QIODevice::WriteOnly))
        throw AppError(QStringLiteral("The office could not save the document."));
    out.write("text of " + f.source.toUtf8());
}

void FakeOffice::close(const OfficeRef &document, bool deliverOwnership)
{
    need(document, "document");
    calls << QStringLiteral("close %1").arg(deliverOwnership ? "true" : "false");
}

int FakeOffice::count(const QString &prefix) const
{
    int n = 0;
    for (const QString &call : calls)
        n += call.startsWith(prefix);
    return n;
}
