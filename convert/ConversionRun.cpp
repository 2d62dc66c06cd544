#include "convert/ConversionRun.h"

#include "convert/TargetFile.h"
#include "core/ErrorReport.h"
#include "util/AppError.h"
#include "util/EventPump.h"
#include "util/PathHelpers.h"

#include <QFileInfo>

namespace {

// True when writing the target would replace the source document itself.
bool namesSameFile(const QString &target, const QString &source)
{
    const QFileInfo targetInfo(target);
    const QFileInfo sourceInfo(source);
    if (targetInfo.absoluteFilePath() == sourceInfo.absoluteFilePath())
        return true;
    return targetInfo.exists() && sourceInfo.exists()
           && targetInfo.canonicalFilePath() == sourceInfo.canonicalFilePath();
}

// An office object that a step of one document needs. When an earlier step for the
// document failed to make it, the report names the document and says what failed,
// not just that some object is missing.
void requireMade(const OfficeRef &object, const QString &whyMissing)
{
    if (!object)
        throw AppError(whyMissing);
}

} // namespace

void ConversionRun::showPlain(const QString &text)
{
    m_dialogs.message(text, m_window.applicationTitle(), Dialogs::Buttons::Ok, Dialogs::Icon::None);
}

void ConversionRun::convertAll()
{
    if (m_isConverting) // 100
        return;
    m_isConverting = true; // 102

    StepRunner step(m_dialogs, FormLocation(QStringLiteral("PushButton2_Click")));

    bool listEmpty = false;
    step(104, [&] { listEmpty = m_window.rowCount() == 0; });
    if (listEmpty) {
        step(188, [&] { showPlain(QStringLiteral("No files added.")); });
        m_isConverting = false; // 190
        return;
    }

    bool folderMissing = false;
    step(106, [&] {
        const bool isFolder = IsFolder(m_window.folderText());
        const bool sourceFolder = m_window.destination() == Destination::SourceFolder;
        folderMissing = !isFolder && !sourceFolder;
    });
    if (folderMissing) {
        step(186, [&] { showPlain(QStringLiteral("Folder does not exist. Please select another folder.")); });
        m_isConverting = false; // 190
        return;
    }

    // Text files of an earlier run may be replaced; those of this one never are.
    m_textFiles = RunTextFiles();
    int count = 0;
    step(108, [&] { count = m_window.rowCount(); });
    for (int i = 1; i <= count; ++i) {
        QString source;
        bool rowGone = false;
        step(110, [&] {
            const std::optional<QString> text = m_window.rowText(i);
            if (!text) {
                rowGone = true;
                throw AppError(QStringLiteral("The file list has no row %1 any more.").arg(i));
            }
            source = *text;
        });
        if (rowGone)
            break; // rows were removed during the run: never convert a file twice
        step(112, [&] { m_window.setProgressValue(double(i) / m_window.rowCount() * 100.0); });
        step(114, [&] { m_window.setProgressCaption(QStringLiteral("Processing: ") + FileNameOf(source)); });
        step(116, [&] { YieldToEvents(); });
        step(118, [&] { m_window.setBusy(true); });
        convertOne(step, source);
    }

    step(178, [&] { m_window.setBusy(false); });
    step(180, [&] { m_window.setProgressValue(0); });
    step(182, [&] { m_window.setProgressCaption(QStringLiteral("Progress Bar")); });
    step(184, [&] { showPlain(QStringLiteral("Done.")); });
    m_isConverting = false; // 190
}

std::optional<QString> ConversionRun::listedDocumentAt(const QString &target) const
{
    if (!QFileInfo::exists(target))
        return std::nullopt;
    for (int position = 1; position <= m_window.rowCount(); ++position) {
        const std::optional<QString> row = m_window.rowText(position);
        if (row && namesSameFile(target, *row))
            return row;
    }
    return std::nullopt;
}

void ConversionRun::convertOne(StepRunner &step, const QString &source)
{
    // Every office object belongs to this file alone: when a step that should make
    // one fails, the steps that need it fail too instead of acting on another file.
    OfficeRef serviceManager, desktop, document, dispatcher, controller, frame;
    QList<PropertyValue> exportProperties(2);

    QString target, temporary;
    step(120, [&] {
        target = TargetPathOf(source, m_window.destination(), m_window.folderText());
    });
    const QString unreachable = QStringLiteral("The office could not be reached for %1.").arg(source);
    const auto loadFailed = [&source](const QString &consequence) {
        return QStringLiteral("The load of %1 failed: %2").arg(source, consequence);
    };
    step(142, [&] { serviceManager = m_office.createServiceManager(); });
    step(144, [&] {
        requireMade(serviceManager, unreachable);
        desktop = m_office.createInstance(serviceManager, OfficeService::Desktop);
    });
    step(146, [&] {
        requireMade(desktop, unreachable);
        document = m_office.loadComponentFromURL(desktop, FileUrlOf(source), FrameTarget::NewFrame, 0);
    });
    step(148, [&] {
        requireMade(serviceManager, unreachable);
        dispatcher = m_office.createInstance(serviceManager, OfficeService::DispatchHelper);
    });
    step(150, [&] {
        requireMade(document, loadFailed(QStringLiteral("it has no view.")));
        controller = m_office.getCurrentController(document);
    });
    step(152, [&] {
        requireMade(document, loadFailed(QStringLiteral("it has no frame.")));
        frame = m_office.getFrame(m_office.getCurrentController(document));
    });
    step(154, [&] { YieldToEvents(); });
    step(156, [&] { YieldToEvents(); });
    step(158, [&] { Pause(m_waitSeconds); });
    step(160, [&] {
        if (target.isEmpty())
            throw AppError(QStringLiteral("No name could be made for the text file of %1.").arg(source));
        // The office saves into a new file beside the target, which replaces the
        // target only once the save is whole.
        const QString saveInto = TemporaryNameFor(target);
        exportProperties[0] = m_office.newPropertyValue(SaveArgument::Url, FileUrlOf(saveInto));
        temporary = saveInto;
    });
    step(162, [&] {
        exportProperties[1] = m_office.newPropertyValue(SaveArgument::FilterName, TextExportFilter());
    });
    step(164, [&] {
        requireMade(document, loadFailed(QStringLiteral("it was not saved.")));
        requireMade(frame, QStringLiteral("%1 has no frame (an earlier step failed): it was not saved.").arg(source));
        requireMade(dispatcher,
                    QStringLiteral("The office gave no dispatcher for %1 (an earlier step failed): it was not saved.")
                        .arg(source));
        if (namesSameFile(target, source))
            throw AppError(QStringLiteral("The text file %1 would replace the document itself; it was not written.")
                               .arg(target));
        if (const std::optional<QString> listed = listedDocumentAt(target))
            throw AppError(
                QStringLiteral("The text file %1 would replace %2, a document of the list; it was not written.")
                    .arg(target, *listed));
        m_textFiles.checkTarget(target, source);
        if (temporary.isEmpty())
            throw AppError(QStringLiteral("The text file %1 was not written.").arg(target));
        TemporaryTextFile saved(m_textFiles.openFolderOf(target, source), target, QFileInfo(temporary).fileName());
        // The save goes into the folder as it was checked just now, whatever has
        // been put in its place since the save's arguments were made.
        exportProperties[0].value = FileUrlOf(saved.path());
        // The document is laid out by now (the calls before waited for it). Held
        // here, the office does not lay out again what the new page numbers
        // changed, which the save would not wait for but the close would.
        m_office.lockControllers(document);
        saved.saveBy([&] {
            m_office.executeDispatch(dispatcher, frame, OfficeCommand::SaveAs, FrameTarget::SameFrame, 0,
                                     exportProperties);
        });
        saved.commitAs(m_textFiles, target, source);
    });
    step(166, [&] { Pause(m_waitSeconds); });
    step(168, [&] { YieldToEvents(); });
    step(170, [&] { YieldToEvents(); });
    step(172, [&] {
        requireMade(document, loadFailed(QStringLiteral("there is nothing to close.")));
        m_office.close(document, true);
    });
    step(174, [&] { document.reset(); });
}
