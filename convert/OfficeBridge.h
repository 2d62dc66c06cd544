#pragma once

#include <QList>
#include <QString>
#include <memory>

// The office suite as the program drives it: the handful of UNO calls that load a
// document into a new frame, save it with an export filter and close it. Every
// call throws AppError, carrying the office's own message, when it fails.
//
// Office objects are opaque handles. A handle holds its office object for as long
// as the handle lives; nothing is disposed explicitly.

struct OfficeObject {
    virtual ~OfficeObject() = default;
};
using OfficeRef = std::shared_ptr<OfficeObject>;

// One named argument of a dispatched command (com.sun.star.beans.PropertyValue).
struct PropertyValue {
    QString name;
    QString value;
    bool operator==(const PropertyValue &) const = default;
};

class OfficeBridge {
public:
    virtual ~OfficeBridge() = default;

    // The service manager of the office; starts the office (or starts it again when
    // it has died) as needed.
    virtual OfficeRef createServiceManager() = 0;
    // serviceManager.createInstance(serviceName)
    virtual OfficeRef createInstance(const OfficeRef &serviceManager, const QString &serviceName) = 0;
    // desktop.loadComponentFromURL(url, targetFrame, searchFlags, no arguments).
    // A load that gives no document is an error.
    virtual OfficeRef loadComponentFromURL(const OfficeRef &desktop, const QString &url,
                                           const QString &targetFrame, short searchFlags) = 0;
    virtual OfficeRef getCurrentController(const OfficeRef &document) = 0;
    virtual OfficeRef getFrame(const OfficeRef &controller) = 0;
    // Builds one property value; asks for a service manager first, as every use of
    // the office does.
    virtual PropertyValue newPropertyValue(const QString &name, const QString &value) = 0;
    // dispatcher.executeDispatch(frame, command, targetFrame, searchFlags, arguments).
    // A dispatch the office refuses is an error; for ".uno:SaveAs" so is a target
    // file (the "URL" argument) that does not exist afterwards.
    virtual void executeDispatch(const OfficeRef &dispatcher, const OfficeRef &frame,
                                 const QString &command, const QString &targetFrame,
                                 short searchFlags, const QList<PropertyValue> &arguments) = 0;
    // document.close(deliverOwnership)
    virtual void close(const OfficeRef &document, bool deliverOwnership) = 0;

    // Ends the office this program started, if any. Called when the program ends.
    virtual void shutdown() = 0;
};

// The file URL of a local path, fully percent-encoded (file:///home/u/a%20b.odt).
QString FileUrlOf(const QString &path);
