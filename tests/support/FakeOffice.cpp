#include "support/FakeOffice.h"

#include "util/AppError.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {

enum class Kind { ServiceManager, Desktop, DispatchHelper, Document, Controller, Frame };

struct FakeObject : OfficeObject {
    explicit FakeObject(Kind objectKind, QString sourcePath = {}) : kind(objectKind), source(std::move(sourcePath)) {}
    Kind kind;
    QString source; // the document this object belongs to
};

const FakeObject &need(const OfficeRef &ref, Kind kind)
{
    auto *object = dynamic_cast<FakeObject *>(ref.get());
    if (!object || object->kind != kind)
        throw AppError(QStringLiteral("Object variable not set"));
    return *object;
}

QString argument(const QList<PropertyValue> &arguments, SaveArgument name)
{
    for (const PropertyValue &value : arguments)
        if (value.name == name)
            return value.value;
    return {};
}

// A refused save, told as the office tells it: naming the file it was given.
AppError refusedSave(const QList<PropertyValue> &arguments)
{
    return AppError(QStringLiteral("The office refused .uno:SaveAs to %1.")
                        .arg(QUrl(argument(arguments, SaveArgument::Url)).toLocalFile()));
}

// Writes "text of <source>" where the save's Url argument says.
void writeText(const QString &source, const QList<PropertyValue> &arguments, QList<FakeOffice::Save> &saved)
{
    const QString target = QUrl(argument(arguments, SaveArgument::Url)).toLocalFile();
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        throw AppError(QStringLiteral("The office could not save the document."));
    out.write("text of " + source.toUtf8());
    // The file's own path, not the one through the descriptor of its folder.
    saved << FakeOffice::Save{source, QFileInfo(target).canonicalFilePath(),
                              argument(arguments, SaveArgument::FilterName)};
}

} // namespace

OfficeRef FakeOffice::createServiceManager()
{
    if (unreachable)
        throw AppError(QStringLiteral("The office cannot be started."));
    return std::make_shared<FakeObject>(Kind::ServiceManager);
}

OfficeRef FakeOffice::createInstance(const OfficeRef &serviceManager, OfficeService service)
{
    need(serviceManager, Kind::ServiceManager);
    return std::make_shared<FakeObject>(service == OfficeService::Desktop ? Kind::Desktop : Kind::DispatchHelper);
}

OfficeRef FakeOffice::loadComponentFromURL(const OfficeRef &desktop, const QString &url, FrameTarget targetFrame,
                                           short)
{
    need(desktop, Kind::Desktop);
    if (targetFrame != FrameTarget::NewFrame)
        throw AppError(QStringLiteral("A document is loaded into a frame of its own."));
    const QString path = QUrl(url).toLocalFile();
    loaded << path;
    if (duringLoad)
        duringLoad();
    if (failingSources.contains(path) || !QFile::exists(path))
        throw AppError(QStringLiteral("Unsupported URL <%1>").arg(url));
    return std::make_shared<FakeObject>(Kind::Document, path);
}

OfficeRef FakeOffice::getCurrentController(const OfficeRef &document)
{
    return std::make_shared<FakeObject>(Kind::Controller, need(document, Kind::Document).source);
}

OfficeRef FakeOffice::getFrame(const OfficeRef &controller)
{
    return std::make_shared<FakeObject>(Kind::Frame, need(controller, Kind::Controller).source);
}

PropertyValue FakeOffice::newPropertyValue(SaveArgument name, const QString &value)
{
    createServiceManager();
    return PropertyValue{name, value};
}

void FakeOffice::executeDispatch(const OfficeRef &dispatcher, const OfficeRef &frame, OfficeCommand,
                                 FrameTarget, short, const QList<PropertyValue> &arguments)
{
    need(dispatcher, Kind::DispatchHelper);
    const FakeObject &f = need(frame, Kind::Frame);
    if (refuseSaves)
        throw refusedSave(arguments);
    if (duringSave)
        duringSave();
    writeText(f.source, arguments, saved);
}

QString FakeOffice::detectType(const OfficeRef &serviceManager, const QString &)
{
    need(serviceManager, Kind::ServiceManager);
    return QStringLiteral("writer8"); // every document is a Writer document
}

OfficeRef FakeOffice::loadWithoutView(const OfficeRef &serviceManager, const QString &url)
{
    need(serviceManager, Kind::ServiceManager);
    const QString path = QUrl(url).toLocalFile();
    if (duringLoad)
        duringLoad();
    if (failingSources.contains(path) || !QFile::exists(path))
        throw AppError(QStringLiteral("Unsupported URL <%1>").arg(url));
    return std::make_shared<FakeObject>(Kind::Document, path);
}

void FakeOffice::showInNewFrame(const OfficeRef &desktop, const OfficeRef &document)
{
    need(desktop, Kind::Desktop);
    loaded << need(document, Kind::Document).source;
}

void FakeOffice::lockControllers(const OfficeRef &document)
{
    need(document, Kind::Document);
}

bool FakeOffice::hasComputedText(const OfficeRef &document)
{
    return sourcesWithFields.contains(need(document, Kind::Document).source);
}

void FakeOffice::storeToURL(const OfficeRef &document, const QList<PropertyValue> &arguments)
{
    const FakeObject &d = need(document, Kind::Document);
    if (refuseSaves)
        throw refusedSave(arguments);
    if (duringSave)
        duringSave();
    writeText(d.source, arguments, saved);
}

void FakeOffice::close(const OfficeRef &document, bool)
{
    need(document, Kind::Document);
    ++closed;
}
