#pragma once

#include "convert/OfficeBridge.h"
#include "convert/office/UnoOfficeOptions.h"

#include <QHash>
#include <memory>
#include <vector>

class OfficeConnection;
class OfficeThread;
struct UnoHandle;

// OfficeBridge on a private headless LibreOffice that this object starts on first
// use, starts again when it has died or has grown past its memory bound, and ends in
// shutdown() or when destroyed. A call that hangs ends the office (see
// OfficeWatchdog).
//
// Every call into the office is made on a thread of the bridge's own (see
// OfficeThread); the caller's call returns when the office has answered, and the
// window's thread handles its events meanwhile. A bridge serves one calling thread
// at a time, any thread; several bridges run side by side.
class UnoOfficeBridge final : public OfficeBridge {
public:
    explicit UnoOfficeBridge(UnoOfficeOptions options = UnoOfficeOptions::defaults());
    ~UnoOfficeBridge() override;

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
    // Ends the office. Called while a call is under way (the window closing during
    // a hang), it kills the office at once and returns without waiting for it.
    void shutdown() override;

    // The running office's process id; 0 when none runs. Any thread may ask.
    qint64 officeProcessId() const;

private:
    // Office thread only, all of them.
    // True while a document this bridge loaded is still held by a caller: the
    // office is never restarted under it.
    bool documentIsHeld();
    // The handle given to the caller for an office object: whenever the caller lets
    // go of it, the object is released on the office thread.
    OfficeRef handOut(const OfficeRef &made);
    // Lets go of every office object made over the connection that is ending.
    void releaseHandedOut();

    std::shared_ptr<OfficeThread> m_thread;
    std::unique_ptr<OfficeConnection> m_connection;
    std::vector<std::weak_ptr<OfficeObject>> m_documents;
    std::vector<std::weak_ptr<UnoHandle>> m_handedOut;
    QHash<QString, bool> m_ownTemplateFilters; // filter name -> loads as a template
};
