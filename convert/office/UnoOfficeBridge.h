#pragma once

#include "convert/OfficeBridge.h"
#include "convert/office/UnoOfficeOptions.h"

#include <memory>
#include <vector>

class OfficeConnection;

// OfficeBridge on a private headless LibreOffice that this object starts on first
// use, starts again when it has died or has loaded many documents, and ends in
// shutdown() or when destroyed. A call that hangs ends the office (see
// OfficeWatchdog).
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
    void close(const OfficeRef &document, bool deliverOwnership) override;
    void shutdown() override;

    // The running office's process id; 0 when none runs.
    qint64 officeProcessId() const;

private:
    // True while a document this bridge loaded is still held by a caller: the
    // office is never restarted under it.
    bool documentIsHeld();

    std::unique_ptr<OfficeConnection> m_connection;
    std::vector<std::weak_ptr<OfficeObject>> m_documents;
};
