#include "batch/DocumentConverter.h"

#include "convert/TargetFile.h"
#include "util/AppError.h"

#include <QFileInfo>

void ConvertDocument(OfficeBridge &office, const QString &source, const QString &target,
                     SharedTextFiles &textFiles)
{
    const QString folder = QFileInfo(target).absolutePath();
    if (!QFileInfo(folder).isDir())
        throw AppError(QStringLiteral("The folder %1 does not exist; %2 was not written.").arg(folder, target));
    textFiles.checkTarget(target);

    const OfficeRef serviceManager = office.createServiceManager();
    const OfficeRef desktop = office.createInstance(serviceManager, OfficeService::Desktop);
    const OfficeRef document =
        office.loadComponentFromURL(desktop, FileUrlOf(source), FrameTarget::NewFrame, 0);
    try {
        const OfficeRef dispatcher =
            office.createInstance(serviceManager, OfficeService::DispatchHelper);
        const OfficeRef frame = office.getFrame(office.getCurrentController(document));
        // The two arguments as the run builds them; no service manager is needed
        // to make them.
        TemporaryTextFile saved(TemporaryNameFor(target), target);
        const QList<PropertyValue> arguments{{SaveArgument::Url, FileUrlOf(saved.path())},
                                             {SaveArgument::FilterName, TextExportFilter()}};
        office.executeDispatch(dispatcher, frame, OfficeCommand::SaveAs, FrameTarget::SameFrame, 0, arguments);
        textFiles.commit(saved, target, source);
    } catch (const AppError &) {
        try {
            office.close(document, true);
        } catch (const AppError &) {
            // The office may be gone; the first error is the one that counts.
        }
        throw;
    }
    office.close(document, true);
}
