#include "convert/office/UnoOfficeBridge.h"

#include "convert/office/CheckedFileStream.h"
#include "convert/office/DispatchOutcome.h"
#include "convert/office/DocumentInput.h"
#include "convert/office/LoadInteraction.h"
#include "convert/office/OfficeAccount.h"
#include "convert/office/OfficeConnection.h"
#include "convert/office/OfficeInstallation.h"
#include "convert/office/OfficeThread.h"
#include "convert/office/PasswordProtected.h"
#include "convert/office/UnoErrors.h"
#include "convert/office/UnoHandle.h"
#include "convert/office/UnoNames.h"
#include "convert/office/UnoString.h"

#include <QUrl>
#include <rtl/ref.hxx>
#include <rtl/ustrbuf.hxx>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/UnknownPropertyException.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/XTypeDetection.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDispatchHelper.hpp>
#include <com/sun/star/frame/XDispatchProvider.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XLoadable.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/text/XTextField.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>
#include <com/sun/star/text/XTextSectionsSupplier.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/util/XRefreshable.hpp>
#include <algorithm>
#include <initializer_list>
#include <optional>
#include <rtl/ref.hxx>
#include <rtl/ustrbuf.hxx>
#include <type_traits>

using css::uno::Reference;

namespace {

// Messages name files by their path, not by their URL.
QString shownName(const QString &url)
{
    const QUrl parsed(url);
    return parsed.isLocalFile() ? parsed.toLocalFile() : url;
}

// A load that gave no document, with why as far as the office told.
[[noreturn]] void throwNoDocument(const QString &failure, const LoadInteraction &interaction)
{
    if (interaction.askedForPassword())
        throw PasswordProtected(failure + QStringLiteral(": the document is protected by a password."));
    throw AppError(failure + QStringLiteral(": the office gave no document for it, and did not say why."));
}

css::uno::Sequence<css::beans::PropertyValue> unoArguments(const QList<PropertyValue> &arguments)
{
    css::uno::Sequence<css::beans::PropertyValue> result(arguments.size());
    auto *out = result.getArray();
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        out[i].Name = toOUString(unoArgumentName(arguments[i].name));
        out[i].Value <<= toOUString(arguments[i].value);
    }
    return result;
}

// One named argument of the office's own calls.
css::beans::PropertyValue namedValue(const char *name, const css::uno::Any &value)
{
    css::beans::PropertyValue property;
    property.Name = rtl::OUString::createFromAscii(name);
    property.Value = value;
    return property;
}

css::uno::Sequence<css::beans::PropertyValue> namedValues(std::initializer_list<css::beans::PropertyValue> values)
{
    return {values.begin(), static_cast<sal_Int32>(values.size())};
}

// `arguments` followed by `more`.
css::uno::Sequence<css::beans::PropertyValue> withArguments(css::uno::Sequence<css::beans::PropertyValue> arguments,
                                                            std::initializer_list<css::beans::PropertyValue> more)
{
    const sal_Int32 first = arguments.getLength();
    arguments.realloc(first + static_cast<sal_Int32>(more.size()));
    std::copy(more.begin(), more.end(), arguments.getArray() + first);
    return arguments;
}

// The "InteractionHandler" argument of a load.
css::beans::PropertyValue interactionArgument(const rtl::Reference<LoadInteraction> &interaction)
{
    const css::uno::Reference<css::task::XInteractionHandler> handler(interaction.get());
    return namedValue("InteractionHandler", css::uno::Any(handler));
}

// serviceManager.createInstanceWithContext(service, its context); empty when the
// office has no such service.
css::uno::Reference<css::uno::XInterface> newInstance(const OfficeRef &serviceManager, const rtl::OUString &service)
{
    return unoInterfaceOf<css::lang::XMultiComponentFactory>(serviceManager, QStringLiteral("service manager"))
        ->createInstanceWithContext(service, unoHandleOf(serviceManager, {}).context);
}

// The local file of a save's Url argument.
QString savedFileOf(const QList<PropertyValue> &arguments)
{
    const QUrl url(saveTargetOf(arguments));
    if (!url.isLocalFile())
        throw AppError(QStringLiteral("The office can save only into a local file, not %1.").arg(url.toString()));
    return url.toLocalFile();
}

// True for a save with the text export. Only those go through a stream of the
// program's own: a document saved in a package format keeps its target stream for
// the rest of its life, and the office fails on closing it when that stream is ours.
bool isTextSave(const QList<PropertyValue> &arguments)
{
    return std::any_of(arguments.begin(), arguments.end(), [](const PropertyValue &argument) {
        return argument.name == SaveArgument::FilterName && argument.value == TextExportFilter();
    });
}

// The arguments of a save whose bytes go to `stream` instead of the Url argument's
// file: the office writes to "private:stream" and hands every byte to the stream.
css::uno::Sequence<css::beans::PropertyValue> streamedSaveArguments(const QList<PropertyValue> &arguments,
                                                                    const rtl::Reference<CheckedFileStream> &stream)
{
    auto result = unoArguments(arguments);
    for (sal_Int32 i = 0; i < result.getLength(); ++i)
        if (result[i].Name == "URL")
            result.getArray()[i].Value <<= rtl::OUString("private:stream");
    result.realloc(result.getLength() + 1);
    result.getArray()[result.getLength() - 1] =
        namedValue("OutputStream", css::uno::Any(css::uno::Reference<css::io::XOutputStream>(stream.get())));
    return result;
}

// True for a filter of the office's own template formats (.ott, .stw, by content):
// the office opens such a file into a frame as a new, untitled document made from
// the template, whose document data (dates, author, editing time) are those of a
// new document, and so are the fields that show them.
bool isOwnTemplateFilter(const OfficeRef &serviceManager, const rtl::OUString &filter)
{
    constexpr sal_Int32 kTemplatePath = 0x10; // the filter's Flags, as the office defines them
    constexpr sal_Int32 kOwn = 0x20;
    const Reference<css::container::XNameAccess> filters(
        newInstance(serviceManager, rtl::OUString("com.sun.star.document.FilterFactory")), css::uno::UNO_QUERY_THROW);
    css::uno::Sequence<css::beans::PropertyValue> properties;
    if (!filters->hasByName(filter) || !(filters->getByName(filter) >>= properties))
        return false;
    for (const css::beans::PropertyValue &property : std::as_const(properties)) {
        sal_Int32 flags = 0;
        if (property.Name == "Flags" && (property.Value >>= flags))
            return (flags & (kTemplatePath | kOwn)) == (kTemplatePath | kOwn);
    }
    return false;
}

// Runs a save that writes through `stream` (when it has one by then), then makes
// its file reach the disk. A write that failed is the error that counts, whatever
// the office made of it.
template <typename Save>
void saveThrough(const rtl::Reference<CheckedFileStream> &stream, Save &&save)
{
    try {
        save();
    } catch (const AppError &) {
        if (stream.is())
            stream->throwFailure();
        throw;
    }
    if (stream.is())
        stream->finish();
}

// Runs `call` on the office thread and gives back what it returns or throws.
template <typename Call>
auto onOfficeThread(OfficeThread &thread, Call &&call) -> decltype(call())
{
    using Result = decltype(call());
    if constexpr (std::is_void_v<Result>) {
        thread.run(call);
    } else {
        std::optional<Result> result;
        thread.run([&] { result.emplace(call()); });
        return std::move(*result);
    }
}

// Runs `call` on the office thread under the watchdog (see OfficeConnection::watched).
template <typename Call>
auto watchedOnOfficeThread(OfficeThread &thread, OfficeConnection &connection, const QString &failure, Call &&call)
    -> decltype(call())
{
    return onOfficeThread(thread, [&] { return connection.watched(failure, call); });
}

// Runs the load that starts a document on the office thread under the watchdog;
// the document's time limit counts from here.
template <typename Call>
auto watchedDocumentStart(OfficeThread &thread, OfficeConnection &connection, const QString &failure, Call &&call)
    -> decltype(call())
{
    return onOfficeThread(thread, [&] {
        connection.startDocument();
        return connection.watched(failure, call);
    });
}

// Holds the office's own handle for the caller's, and hands it back to the office
// thread to be released there when the caller's goes.
struct ReleaseOnOfficeThread {
    OfficeRef made;
    std::weak_ptr<OfficeThread> thread;

    void operator()(OfficeObject *)
    {
        OfficeRef last = std::move(made);
        if (const auto officeThread = thread.lock(); officeThread && !officeThread->isCurrent())
            officeThread->post([last = std::move(last)] {});
        // else released here: on the office thread, or after it (and the office
        // objects with it) has gone.
    }
};

struct DetectedType {
    rtl::OUString type;
    rtl::OUString filter;
    // The detection's descriptor, which holds the document open while it is kept (as a
    // load after the detection has always had it).
    css::uno::Sequence<css::beans::PropertyValue> descriptor;
};

// The office's deep detection, which looks into the file, of the document at `url`:
// its type and the filter that reads it; either is empty when the office knows none.
DetectedType detectedType(const OfficeRef &serviceManager, const QString &url,
                          const rtl::Reference<LoadInteraction> &interaction)
{
    const Reference<css::document::XTypeDetection> detection(
        newInstance(serviceManager, rtl::OUString("com.sun.star.document.TypeDetection")), css::uno::UNO_QUERY_THROW);
    DetectedType detected;
    detected.descriptor =
        withArguments(DocumentSource(url), {interactionArgument(interaction)});
    detected.type = detection->queryTypeByDescriptor(detected.descriptor, true);
    for (const css::beans::PropertyValue &value : std::as_const(detected.descriptor))
        if (value.Name == "FilterName")
            value.Value >>= detected.filter;
    return detected;
}

// What every field of the document shows, one after another.
rtl::OUString fieldValues(const Reference<css::text::XTextFieldsSupplier> &fields)
{
    rtl::OUStringBuffer values;
    const auto enumeration = fields->getTextFields()->createEnumeration();
    while (enumeration->hasMoreElements()) {
        const Reference<css::text::XTextField> field(enumeration->nextElement(), css::uno::UNO_QUERY);
        if (field.is())
            values.append(field->getPresentation(false)).append(u'\n');
    }
    return values.makeStringAndClear();
}

// Finishes the layout of a Writer document at once, the office's later passes
// included, and sets every field from it (a page reference whose target moved with
// the new page numbers), over again while that changes a value: a value's new width
// may move what a reference points to. The office would otherwise go on at its own
// pace, so that what a save finds depended on the machine's load. The fields'
// refresh marks the document modified, which a save would take for an edit (a new
// modification date, one more editing cycle): a document that was not is marked so
// again.
void finishLayout(const Reference<css::frame::XModel> &model)
{
    constexpr int kMostRounds = 6;
    const Reference<css::util::XRefreshable> layout(model, css::uno::UNO_QUERY);
    const Reference<css::text::XTextFieldsSupplier> fields(model, css::uno::UNO_QUERY);
    const Reference<css::util::XModifiable> modifiable(model, css::uno::UNO_QUERY);
    if (!layout.is() || !fields.is() || !modifiable.is())
        return;
    const Reference<css::util::XRefreshable> values(fields->getTextFields(), css::uno::UNO_QUERY);
    const bool wasModified = modifiable->isModified();
    layout->refresh(); // a Writer document's refresh lays it out whole
    rtl::OUString shown = fieldValues(fields);
    for (int round = 0; values.is() && round < kMostRounds; ++round) {
        values->refresh();
        layout->refresh();
        rtl::OUString now = fieldValues(fields);
        if (now == shown)
            break;
        shown = std::move(now);
    }
    if (!wasModified)
        modifiable->setModified(false);
}

} // namespace

UnoOfficeOptions UnoOfficeOptions::defaults()
{
    UnoOfficeOptions options;
    options.officeSearchPath = defaultOfficeSearchPath();
    options.accountWrapperSearchPath = defaultAccountWrapperSearchPath();
    return options;
}

UnoOfficeBridge::UnoOfficeBridge(UnoOfficeOptions options)
    : m_thread(std::make_shared<OfficeThread>())
{
    // The connection's process and pipe belong to the thread that uses them.
    m_thread->run(
        [&] {
            m_connection = std::make_unique<OfficeConnection>(std::move(options));
            m_connection->setBeforeEnd([this] { releaseHandedOut(); });
        },
        OfficeThread::Waiting::Blocked);
}

UnoOfficeBridge::~UnoOfficeBridge()
{
    m_thread->run([this] { m_connection.reset(); }, OfficeThread::Waiting::Blocked);
    m_thread.reset(); // the thread ends here, with what is still queued for it
}

OfficeRef UnoOfficeBridge::handOut(const OfficeRef &made)
{
    std::erase_if(m_handedOut, [](const std::weak_ptr<UnoHandle> &handle) { return handle.expired(); });
    m_handedOut.push_back(std::static_pointer_cast<UnoHandle>(made));
    OfficeObject *object = made.get();
    return OfficeRef(object, ReleaseOnOfficeThread{made, m_thread});
}

void UnoOfficeBridge::releaseHandedOut()
{
    for (const std::weak_ptr<UnoHandle> &handedOut : m_handedOut) {
        if (const auto handle = handedOut.lock())
            handle->release();
    }
    m_handedOut.clear();
}

OfficeRef UnoOfficeBridge::createServiceManager()
{
    return onOfficeThread(*m_thread, [&] {
        if (!documentIsHeld()) {
            m_connection->endDocument();
            if (m_connection->restartIsDue())
                m_connection->shutdown(); // started afresh just below
        }
        const auto context = m_connection->context();
        return m_connection->watched(QStringLiteral("The office gave no service manager"), [&] {
            const auto serviceManager = context->getServiceManager();
            if (!serviceManager.is())
                throw AppError(QStringLiteral("The office gave no service manager."));
            return handOut(makeUnoHandle(serviceManager, context));
        });
    });
}

OfficeRef UnoOfficeBridge::createInstance(const OfficeRef &serviceManager, OfficeService service)
{
    const QString serviceName = unoServiceName(service);
    const QString failure = QStringLiteral("The office could not create %1").arg(serviceName);
    return watchedOnOfficeThread(*m_thread, *m_connection, failure, [&] {
        const auto instance = newInstance(serviceManager, toOUString(serviceName));
        if (!instance.is())
            throw AppError(QStringLiteral("The office has no service named %1.").arg(serviceName));
        return handOut(makeUnoHandle(instance));
    });
}

OfficeRef UnoOfficeBridge::loadComponentFromURL(const OfficeRef &desktop, const QString &url,
                                                FrameTarget targetFrame, short searchFlags)
{
    const QString failure = QStringLiteral("The office could not load %1").arg(shownName(url));
    return watchedDocumentStart(*m_thread, *m_connection, failure, [&] {
        const auto loader = unoInterfaceOf<css::frame::XComponentLoader>(desktop, QStringLiteral("desktop"));
        const rtl::Reference<LoadInteraction> interaction(new LoadInteraction);
        const auto document = loader->loadComponentFromURL(
            toOUString(url), toOUString(unoFrameName(targetFrame)), searchFlags,
            withArguments(DocumentSource(url), {interactionArgument(interaction)}));
        // A truncated zip loads as nothing at all, and so may a sound document that
        // needs a part of the office this installation lacks: the office does not
        // say which, so neither does the message.
        if (!document.is())
            throwNoDocument(failure, *interaction);
        OfficeRef handle = handOut(makeUnoHandle(document));
        m_documents.push_back(handle);
        return handle;
    });
}

QString UnoOfficeBridge::detectType(const OfficeRef &serviceManager, const QString &url)
{
    const QString failure = QStringLiteral("The office could not tell the type of %1").arg(shownName(url));
    return watchedDocumentStart(*m_thread, *m_connection, failure, [&] {
        const rtl::Reference<LoadInteraction> interaction(new LoadInteraction);
        return toQString(detectedType(serviceManager, url, interaction).type);
    });
}

OfficeRef UnoOfficeBridge::loadWithoutView(const OfficeRef &serviceManager, const QString &url)
{
    const QString failure = QStringLiteral("The office could not load %1").arg(shownName(url));
    return watchedDocumentStart(*m_thread, *m_connection, failure, [&] {
        const rtl::Reference<LoadInteraction> interaction(new LoadInteraction);
        const auto [type, filter, descriptor] = detectedType(serviceManager, url, interaction);
        if (type.isEmpty() || filter.isEmpty())
            throwNoDocument(failure, *interaction);
        // The detection's stream, read again from its start.
        css::uno::Sequence<css::beans::PropertyValue> source;
        for (const css::beans::PropertyValue &value : descriptor)
            if (value.Name == "URL" || value.Name == "InputStream")
                source = withArguments(source, {value});
        RewindDocumentSource(source);

        const Reference<css::frame::XLoadable> document(newInstance(serviceManager,
                                                                    rtl::OUString("com.sun.star.text.TextDocument")),
                                                        css::uno::UNO_QUERY_THROW);
        auto arguments = withArguments(source, {namedValue("FilterName", css::uno::Any(filter)),
                                                namedValue("ReadOnly", css::uno::Any(true)),
                                                interactionArgument(interaction)});
        // A template is loaded as a load into a frame loads it.
        const QString filterName = toQString(filter);
        if (!m_ownTemplateFilters.contains(filterName))
            m_ownTemplateFilters.insert(filterName, isOwnTemplateFilter(serviceManager, filter));
        if (m_ownTemplateFilters.value(filterName)) {
            arguments.realloc(arguments.getLength() + 1);
            arguments.getArray()[arguments.getLength() - 1] = namedValue("AsTemplate", css::uno::Any(true));
        }
        OfficeRef handle = handOut(makeUnoHandle(document));
        m_documents.push_back(handle);
        try {
            document->load(arguments);
        } catch (const css::io::IOException &) {
            // The office's message is an error code; what can be told in words is
            // what a load into a frame tells.
            throwNoDocument(failure, *interaction);
        }
        return handle;
    });
}

void UnoOfficeBridge::showInNewFrame(const OfficeRef &desktop, const OfficeRef &document)
{
    watchedOnOfficeThread(*m_thread, *m_connection, QStringLiteral("The office could not show the document"), [&] {
        const auto loader = unoInterfaceOf<css::frame::XComponentLoader>(desktop, QStringLiteral("desktop"));
        const auto arguments = namedValues(
            {namedValue("Model",
                        css::uno::Any(unoInterfaceOf<css::frame::XModel>(document, QStringLiteral("document"))))});
        const auto shown = loader->loadComponentFromURL(rtl::OUString("private:object"),
                                                        toOUString(unoFrameName(FrameTarget::NewFrame)), 0, arguments);
        if (!shown.is())
            throw AppError(QStringLiteral("The office could not show the document in a frame."));
    });
}

void UnoOfficeBridge::lockControllers(const OfficeRef &document)
{
    watchedOnOfficeThread(
        *m_thread, *m_connection, QStringLiteral("The office could not hold the document's layout"),
        [&] {
            const auto model = unoInterfaceOf<css::frame::XModel>(document, QStringLiteral("document"));
            finishLayout(model);
            model->lockControllers();
        });
}

bool UnoOfficeBridge::hasComputedText(const OfficeRef &document)
{
    return watchedOnOfficeThread(*m_thread, *m_connection,
                                 QStringLiteral("The office could not look into the document"), [&] {
        const auto fields = unoInterfaceOf<css::text::XTextFieldsSupplier>(document, QStringLiteral("document"))
                                ->getTextFields();
        if (fields.is() && fields->createEnumeration()->hasMoreElements())
            return true;
        const auto sections = unoInterfaceOf<css::text::XTextSectionsSupplier>(document, QStringLiteral("document"))
                                  ->getTextSections();
        if (!sections.is())
            return false;
        const auto names = sections->getElementNames();
        for (const rtl::OUString &name : names) {
            const Reference<css::beans::XPropertySet> section(sections->getByName(name), css::uno::UNO_QUERY);
            rtl::OUString condition;
            try {
                if (section.is() && (section->getPropertyValue(rtl::OUString("Condition")) >>= condition) &&
                    !condition.isEmpty())
                    return true;
            } catch (const css::beans::UnknownPropertyException &) {
                // A section without a condition at all: shown whatever happens.
            }
        }
        return false;
    });
}

void UnoOfficeBridge::storeToURL(const OfficeRef &document, const QList<PropertyValue> &arguments)
{
    const QString target = saveTargetOf(arguments);
    // A stored copy leaves the document as it was, so any filter's bytes may come
    // through the program's stream.
    const rtl::Reference<CheckedFileStream> stream = new CheckedFileStream(savedFileOf(arguments));
    saveThrough(stream, [&] {
        watchedOnOfficeThread(*m_thread, *m_connection,
                              QStringLiteral("The office could not save %1").arg(shownName(target)), [&] {
            QList<PropertyValue> rest = arguments;
            rest.removeIf([](const PropertyValue &value) { return value.name == SaveArgument::Url; });
            unoInterfaceOf<css::frame::XStorable>(document, QStringLiteral("document"))
                ->storeToURL(rtl::OUString("private:stream"), streamedSaveArguments(rest, stream));
        });
    });
    checkSavedFileExists(arguments);
}

OfficeRef UnoOfficeBridge::getCurrentController(const OfficeRef &document)
{
    return watchedOnOfficeThread(*m_thread, *m_connection,
                                 QStringLiteral("The office could not give the document's controller"), [&] {
        const auto model = unoInterfaceOf<css::frame::XModel>(document, QStringLiteral("document"));
        const auto controller = model->getCurrentController();
        if (!controller.is())
            throw AppError(QStringLiteral("The document has no controller."));
        return handOut(makeUnoHandle(controller));
    });
}

OfficeRef UnoOfficeBridge::getFrame(const OfficeRef &controller)
{
    return watchedOnOfficeThread(*m_thread, *m_connection,
                                 QStringLiteral("The office could not give the document's frame"), [&] {
        const auto frame = unoInterfaceOf<css::frame::XController>(controller, QStringLiteral("controller"))
                               ->getFrame();
        if (!frame.is())
            throw AppError(QStringLiteral("The document's controller has no frame."));
        return handOut(makeUnoHandle(frame));
    });
}

PropertyValue UnoOfficeBridge::newPropertyValue(SaveArgument name, const QString &value)
{
    createServiceManager();
    return {name, value};
}

void UnoOfficeBridge::executeDispatch(const OfficeRef &dispatcher, const OfficeRef &frame, OfficeCommand command,
                                      FrameTarget targetFrame, short searchFlags,
                                      const QList<PropertyValue> &arguments)
{
    const QString failure = QStringLiteral("The office could not carry out %1").arg(unoCommandUrl(command));
    // A save's bytes come through a stream of the program's own into the Url's file.
    rtl::Reference<CheckedFileStream> stream;
    saveThrough(stream, [&] {
        watchedOnOfficeThread(*m_thread, *m_connection, failure, [&] {
            const auto helper = unoInterfaceOf<css::frame::XDispatchHelper>(dispatcher, QStringLiteral("dispatcher"));
            const auto provider = unoInterfaceOf<css::frame::XDispatchProvider>(frame, QStringLiteral("frame"));
            if (command == OfficeCommand::SaveAs && isTextSave(arguments))
                stream = new CheckedFileStream(savedFileOf(arguments));
            const auto result = helper->executeDispatch(
                provider, toOUString(unoCommandUrl(command)), toOUString(unoFrameName(targetFrame)), searchFlags,
                stream.is() ? streamedSaveArguments(arguments, stream) : unoArguments(arguments));
            checkDispatchResult(result, command, arguments);
            if (stream.is() && stream->written() == 0)
                checkEmptySaveDone(result, arguments);
        });
    });
    if (command == OfficeCommand::SaveAs)
        checkSavedFileExists(arguments);
}

void UnoOfficeBridge::close(const OfficeRef &document, bool deliverOwnership)
{
    watchedOnOfficeThread(*m_thread, *m_connection,
                                 QStringLiteral("The office could not close the document"), [&] {
        const UnoHandle &handle = unoHandleOf(document, QStringLiteral("document"));
        const Reference<css::util::XCloseable> closeable(handle.object, css::uno::UNO_QUERY);
        if (closeable.is()) {
            closeable->close(deliverOwnership);
            m_connection->endDocument();
            return;
        }
        // Not closeable: all that is left is disposing of it.
        const Reference<css::lang::XComponent> component(handle.object, css::uno::UNO_QUERY);
        if (!component.is())
            throw AppError(QStringLiteral("The object given to the office as the document is not one."));
        component->dispose();
        m_connection->endDocument();
    });
}

void UnoOfficeBridge::shutdown()
{
    if (m_thread->isBusy() && !m_thread->isCurrent()) {
        // The call under way may never return (a hung office): the office is killed
        // at once, which makes the call fail, and the rest follows it on the office
        // thread, which nobody waits for. The copies of documents the office made
        // go here, once it is dead: the program may end right after this.
        m_connection->killOfficeAndRemoveItsCopies();
        m_thread->post([this] { m_connection->shutdown(); });
        return;
    }
    onOfficeThread(*m_thread, [&] { m_connection->shutdown(); });
}

bool UnoOfficeBridge::documentIsHeld()
{
    std::erase_if(m_documents, [](const std::weak_ptr<OfficeObject> &document) { return document.expired(); });
    return !m_documents.empty();
}

qint64 UnoOfficeBridge::officeProcessId() const
{
    return m_connection->processId();
}
