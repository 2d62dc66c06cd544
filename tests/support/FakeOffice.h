#pragma once

#include "convert/OfficeBridge.h"

#include <QSet>
#include <QStringList>

// A scripted office for tests of the run: records each call, writes "text of <source>"
// on a successful save, and fails the calls it is told to. Null handles fail as they
// do in the real office.
class FakeOffice : public OfficeBridge {
public:
    QStringList calls;            // "load file:///...", "save file:///... Text", "close"...
    QSet<QString> failingSources; // documents (paths) that cannot be loaded
    bool unreachable = false;     // no service manager at all
    bool refuseSaves = false;
    int shutdowns = 0;
    std::function<void()> duringLoad; // runs inside each load, e.g. to change the window

    OfficeRef createServiceManager() override;
    OfficeRef createInstance(const OfficeRef &serviceManager, const QString &serviceName) override;
    OfficeRef loadComponentFromURL(const OfficeRef &desktop, const QString &url,
                                   const QString &targetFrame, short searchFlags) override;
    OfficeRef getCurrentController(const OfficeRef &document) override;
    OfficeRef getFrame(const OfficeRef &controller) override;
    PropertyValue newPropertyValue(const QString &name, const QString &value) override;
    void executeDispatch(const OfficeRef &dispatcher, const OfficeRef &frame, const QString &command,
                         const QString &targetFrame, short searchFlags,
                         const QList<PropertyValue> &arguments) override;
    void close(const OfficeRef &document, bool deliverOwnership) override;
    void shutdown() override { ++shutdowns; }

    int count(const QString &prefix) const;
};
