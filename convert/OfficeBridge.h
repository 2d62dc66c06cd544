#pragma once

#include <QList>
#include <QString>
#include <memory>

// The office suite as the program drives it: the handful of UNO calls that load a
// document into a new frame, save it with an export filter and close it, and the
// few more with which the batch loads a document without a view and stores it.
// Every call throws AppError, carrying the office's own message, when it fails.
//
// Office objects are opaque handles. A handle holds its office object for as long
// as the handle lives; nothing is disposed explicitly.

struct OfficeObject {
    virtual ~OfficeObject() = default;
};
using OfficeRef = std::shared_ptr<OfficeObject>;

// The office services the run creates.
enum class OfficeService {
    Desktop,        // loads documents into frames
    DispatchHelper  // carries out commands on a frame
};

// Where a document is loaded or a command is sent.
enum class FrameTarget {
    NewFrame,  // a new frame of its own
    SameFrame  // the frame the command is dispatched to
};

// The commands the run dispatches.
enum class OfficeCommand {
    SaveAs // save a copy under another name with a given export filter
};

// The named arguments of a save.
enum class SaveArgument {
    Url,        // the target, as a file URL
    FilterName, // the export filter
    Password    // saves the document encrypted (tests make such documents with it)
};

// The export filter that writes plain text.
inline QString TextExportFilter()
{
    return QStringLiteral("Text");
}

// True for the types the office gives the Writer documents the program converts
// (.odt, .ott, .sxw, .stw); a file read as any other type is not one of them, even
// when the office reads something from it.
inline bool IsWriterDocumentType(const QString &type)
{
    return type == QLatin1String("writer8") || type == QLatin1String("writer8_template")
           || type == QLatin1String("writer_StarOffice_XML_Writer")
           || type == QLatin1String("writer_StarOffice_XML_Writer_Template");
}

// One named argument of a dispatched command.
struct PropertyValue {
    SaveArgument name = SaveArgument::Url;
    QString value;
    bool operator==(const PropertyValue &) const = default;
};

class OfficeBridge {
public:
    virtual ~OfficeBridge() = default;

    // The service manager of the office; starts the office (or starts it again when
    // it has died) as needed.
    virtual OfficeRef createServiceManager() = 0;
    // serviceManager.createInstance(service)
    virtual OfficeRef createInstance(const OfficeRef &serviceManager, OfficeService service) = 0;
    // desktop.loadComponentFromURL(url, targetFrame, searchFlags, {InteractionHandler}).
    // A load that gives no document is an error, which names a document the office
    // asked a password for as protected by one.
    virtual OfficeRef loadComponentFromURL(const OfficeRef &desktop, const QString &url, FrameTarget targetFrame,
                                           short searchFlags) = 0;
    virtual OfficeRef getCurrentController(const OfficeRef &document) = 0;
    virtual OfficeRef getFrame(const OfficeRef &controller) = 0;
    // Builds one property value; asks for a service manager first, as every use of
    // the office does.
    virtual PropertyValue newPropertyValue(SaveArgument name, const QString &value) = 0;
    // dispatcher.executeDispatch(frame, command, targetFrame, searchFlags, arguments).
    // A dispatch the office refuses is an error; for a save so is a target file (the
    // Url argument) that does not exist afterwards. A save with the text export
    // writes the target file whole or fails: a write the disk refused or took only
    // in part is an error, whatever the office reports. A text save may be empty (a
    // document of pictures alone), when the office reports it done.
    virtual void executeDispatch(const OfficeRef &dispatcher, const OfficeRef &frame, OfficeCommand command,
                                 FrameTarget targetFrame, short searchFlags,
                                 const QList<PropertyValue> &arguments) = 0;
    // The document's type, as the office's deep detection (which looks into the file)
    // names it before a load: "writer8" for an .odt, "generic_Text" for plain text;
    // empty when the office knows none.
    virtual QString detectType(const OfficeRef &serviceManager, const QString &url) = 0;
    // The document's model alone, read-only, with no frame or view: its type is
    // detected, a Writer document is made and loaded from url with the type's filter
    // (XLoadable.load). A template of the office's own formats is loaded as a load
    // into a frame loads it, as a new document made from it. The office neither lays
    // it out nor updates its fields, and no lock file is left beside it. A load that
    // gives no document is an error.
    virtual OfficeRef loadWithoutView(const OfficeRef &serviceManager, const QString &url) = 0;
    // desktop.loadComponentFromURL("private:object", new frame, 0, {Model}): gives a
    // document loaded without a view a new frame and view of its own, which the office
    // lays out as any document in a frame.
    virtual void showInNewFrame(const OfficeRef &desktop, const OfficeRef &document) = 0;
    // document.lockControllers(): the office does no further layout work on the
    // document until it is closed.
    virtual void lockControllers(const OfficeRef &document) = 0;
    // True when some of the document's text is worked out by the office and may take
    // its value from the layout or the view: it holds text fields (page numbers,
    // references, dates; in the body, headers, footers or frames alike), or sections
    // shown on a condition.
    virtual bool hasComputedText(const OfficeRef &document) = 0;
    // document.storeToURL(Url argument, {FilterName}): a copy under another name with
    // the export filter, replacing a file already there. The target is written whole
    // or the call fails, as for a text save above.
    virtual void storeToURL(const OfficeRef &document, const QList<PropertyValue> &arguments) = 0;
    // document.close(deliverOwnership)
    virtual void close(const OfficeRef &document, bool deliverOwnership) = 0;

    // Ends the office this program started, if any. Called when the program ends.
    virtual void shutdown() = 0;
};

// The file URL of a local path, fully percent-encoded (file:///home/u/a%20b.odt).
QString FileUrlOf(const QString &path);
