#pragma once

#include "convert/OfficeBridge.h"

#include <QList>
#include <QSet>
#include <QStringList>
#include <functional>

// A scripted office for tests of the run: a save writes "text of <source>" to the
// target, and the calls it is told to fail, fail. Objects of the wrong kind (or none,
// after a step that failed) fail as they do in the real office.
class FakeOffice : public OfficeBridge {
public:
    struct Save {
        QString source;
        QString target;
        QString filter;
    };

    // What the office was asked to do.
    QStringList loaded;   // paths of the documents loaded into or shown in frames, in order
    QList<Save> saved;    // saves that were carried out
    int closed = 0;       // documents closed
    int shutdowns = 0;

    // What goes wrong.
    QSet<QString> failingSources; // documents (paths) that cannot be loaded
    bool unreachable = false;     // no service manager at all
    bool refuseSaves = false;
    QSet<QString> sourcesWithFields; // documents (paths) whose text the office works out
    std::function<void()> duringLoad; // runs inside each load (with a view or without), e.g. to change the window
    std::function<void()> duringSave; // runs inside each save, once its file exists

    OfficeRef createServiceManager() override;
    OfficeRef createInstance(const OfficeRef &serviceManager, OfficeService service) override;
    OfficeRef loadComponentFromURL(const OfficeRef &desktop, const QString &url, FrameTarget targetFrame,
                                   short searchFlags) override;
    OfficeRef getCurrentController(const OfficeRef &document) override;
    OfficeRef getFrame(const OfficeRef &controller) override;
    PropertyValue newPropertyValue(SaveArgument name, const QString &value) override;
    void executeDispatch(const OfficeRef &dispatcher, const OfficeRef &frame, OfficeCommand command,
                         FrameTarget targetFrame, short searchFlags, const QList<PropertyValue> &arguments) override;
    QString detectType(const OfficeRef &serviceManager, const QString &url) override;
    OfficeRef loadWithoutView(const OfficeRef &serviceManager, const QString &url) override;
    void showInNewFrame(const OfficeRef &desktop, const OfficeRef &document) override;
    void lockControllers(const OfficeRef &document) override;
    bool hasComputedText(const OfficeRef &document) override;
    void storeToURL(const OfficeRef &document, const QList<PropertyValue> &arguments) override;
    void close(const OfficeRef &document, bool deliverOwnership) override;
    void shutdown() override { ++shutdowns; }
};
