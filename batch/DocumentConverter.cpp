#include "batch/DocumentConverter.h"

#include "convert/TargetFile.h"
#include "util/AppError.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <optional>
#include <sys/stat.h>

namespace {

// Runs `work` on a loaded document and closes it again whatever happened; a
// failure to close after a failed step is not the error that counts.
template <typename Work>
void withDocument(OfficeBridge &office, const OfficeRef &document, Work &&work)
{
    try {
        work();
    } catch (const AppError &) {
        try {
            office.close(document, true);
        } catch (const AppError &) {
            // The office may be gone.
        }
        throw;
    }
    office.close(document, true);
}

// The document's modification time as its load begins; none when it cannot be read.
std::optional<timespec> modifiedTime(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return info.st_mtim;
}

// The text file gets the time its document had when the load began, as cp -p and
// rsync -t keep times: a document changed during its conversion is newer than its
// text, so that the next --update converts it again.
void keepDocumentTime(const TemporaryTextFile &saved, const std::optional<timespec> &documentTime)
{
    if (!documentTime)
        return;
    const timespec times[2] = {{0, UTIME_NOW}, *documentTime};
    ::futimens(saved.descriptor(), times);
}

QList<PropertyValue> textSaveArguments(const TemporaryTextFile &saved)
{
    return {{SaveArgument::Url, FileUrlOf(saved.path())}, {SaveArgument::FilterName, TextExportFilter()}};
}

// A text save of the document in its frame, as the window's run makes it.
//
// Once shown, the document is laid out whole in one go, and a call made meanwhile
// waits until that is done: the window's run saves at that point, and so does this.
// After it the office goes on laying out again what the new page numbers changed,
// which the save does not wait for but the close would (seconds on a long document);
// so the layout is held once the calls before the save have got through.
void saveFromFrame(OfficeBridge &office, const OfficeRef &serviceManager, const OfficeRef &document,
                   const QString &source, const QString &target, SharedTextFiles &textFiles,
                   const std::optional<timespec> &documentTime)
{
    const OfficeRef dispatcher = office.createInstance(serviceManager, OfficeService::DispatchHelper);
    const OfficeRef frame = office.getFrame(office.getCurrentController(document));
    office.lockControllers(document);
    TemporaryTextFile saved(textFiles.openFolderOf(target, source), target);
    saved.saveBy([&] {
        office.executeDispatch(dispatcher, frame, OfficeCommand::SaveAs, FrameTarget::SameFrame, 0,
                               textSaveArguments(saved));
    });
    keepDocumentTime(saved, documentTime);
    textFiles.commit(saved, target, source);
}

// A save without a view: what the text export makes of the document as loaded.
void saveWithoutView(OfficeBridge &office, const OfficeRef &document, const QString &source, const QString &target,
                     SharedTextFiles &textFiles, const std::optional<timespec> &documentTime)
{
    TemporaryTextFile saved(textFiles.openFolderOf(target, source), target);
    saved.saveBy([&] { office.storeToURL(document, textSaveArguments(saved)); });
    keepDocumentTime(saved, documentTime);
    textFiles.commit(saved, target, source);
}

} // namespace

QString ConvertDocument(OfficeBridge &office, const QString &source, const QString &target,
                        SharedTextFiles &textFiles)
{
    textFiles.openFolderOf(target, source); // refused before the office does any work
    textFiles.checkTarget(target, source);

    const OfficeRef serviceManager = office.createServiceManager();
    const std::optional<timespec> documentTime = modifiedTime(source);
    const QString type = office.detectType(serviceManager, FileUrlOf(source));
    if (QFileInfo(source).size() == 0) {
        // The office would make a new document of it, whose text save is a mark and a
        // line end: the text of nothing is an empty file.
        TemporaryTextFile saved(textFiles.openFolderOf(target, source), target);
        keepDocumentTime(saved, documentTime);
        textFiles.commit(saved, target, source);
        return EmptyFileType();
    }
    const OfficeRef document = office.loadWithoutView(serviceManager, FileUrlOf(source));
    withDocument(office, document, [&] {
        if (!office.hasComputedText(document)) {
            saveWithoutView(office, document, source, target, textFiles, documentTime);
            return;
        }
        office.showInNewFrame(office.createInstance(serviceManager, OfficeService::Desktop), document);
        saveFromFrame(office, serviceManager, document, source, target, textFiles, documentTime);
    });
    return IsWriterDocumentType(type) ? QString() : type;
}
