#include "batch/BatchOptions.h"

#include <QThread>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

constexpr int kMaxJobs = 32;
constexpr int kMaxDocumentLimit = 7 * 86400;

std::variant<QStringList, UsageError> extensionList(const QString &text)
{
    QStringList extensions;
    for (QString extension : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        extension = extension.trimmed().toLower();
        while (extension.startsWith(QLatin1Char('.')))
            extension.remove(0, 1);
        if (extension.isEmpty() || extension.contains(QLatin1Char('/')) || extension.contains(QLatin1Char('*'))
            || extension.contains(QLatin1Char('?')))
            return UsageError{QStringLiteral("--ext takes extensions such as odt,ott, not \"%1\".").arg(text)};
        if (!extensions.contains(extension))
            extensions << extension;
    }
    if (extensions.isEmpty())
        return UsageError{QStringLiteral("--ext needs at least one extension.")};
    return extensions;
}

} // namespace

int DefaultJobs()
{
    return std::clamp(QThread::idealThreadCount(), 1, 4);
}

QList<OptionRow<BatchOptions>> BatchOptionRows()
{
    using Kind = OptionValueKind;
    const auto file = [](QString BatchOptions::*field, const char *name) {
        return [field, name](BatchOptions &options, const QString &value) -> std::optional<QString> {
            if (value.isEmpty())
                return QStringLiteral("%1 needs a file name (or - ).").arg(QLatin1String(name));
            options.*field = value;
            return std::nullopt;
        };
    };
    return {
        {"--out", {}, "DIR", Kind::Folder,
             "put every text file into the folder DIR, which must exist\n"
             "(default: each text file beside its document)",
         [](BatchOptions &options, const QString &value) -> std::optional<QString> {
             if (value.isEmpty())
                 return QStringLiteral("--out needs a folder.");
             options.outDir = value;
             return std::nullopt;
         }},
        {"--mirror", {}, {}, Kind::None,
             "with --out: keep the tree. A document found in a FOLDER\n"
             "gets its text file at DIR/<its path below FOLDER>; one\n"
             "named itself (or in --files-from) at DIR/<its path below\n"
             "the current folder>, or DIR/<its name> when it lies\n"
             "elsewhere. Folders are made as needed (as mkdir makes\n"
             "them); where one below DIR is a symbolic link or no folder,\n"
             "its documents fail and nothing is written through it.\n"
             "tarnwick --convert --out /srv/texts --mirror /srv/docs\n"
             "turns /srv/docs/a/report.odt into /srv/texts/a/report.txt.",
         SetsFlag(&BatchOptions::mirror)},
        {"--ext", {}, "LIST", Kind::Text,
             "extensions a folder walk keeps, comma-separated, any letter\n"
             "case (default: odt,ott,sxw,stw)",
         [](BatchOptions &options, const QString &value) -> std::optional<QString> {
             const auto extensions = extensionList(value);
             if (const auto *error = std::get_if<UsageError>(&extensions))
                 return error->text;
             options.extensions = std::get<QStringList>(extensions);
             return std::nullopt;
         }},
        {"--jobs", {}, "N", Kind::Text,
             "how many private offices convert at once (default: the\n"
             "number of cores, at most 4; here %1)",
         TakesWholeNumber(&BatchOptions::jobs, "--jobs", 1, kMaxJobs)},
        {"--timeout", {}, "SECONDS", Kind::Text,
             "how long the office may wait on a document without doing\n"
             "any work before it counts as hung (default: 120). A hung\n"
             "office is ended and started again and the document is tried\n"
             "once more; a document that ends its office twice is reported\n"
             "as failed and not tried again. An office that is working is\n"
             "never ended as hung, however long one step takes.",
         TakesWholeNumber(&BatchOptions::timeoutSeconds, "--timeout", 1, 86400)},
        {"--document-limit", {}, "SECONDS", Kind::Text,
             "how long the office may work on one document (default: 1800,\n"
             "half an hour). An office still at it then is ended, and the\n"
             "document is reported as failed and not tried again.",
         TakesWholeNumber(&BatchOptions::documentLimitSeconds, "--document-limit", 1, kMaxDocumentLimit)},
        {"--update", "-u", {}, Kind::None,
             "convert only a document whose text file is missing or older\n"
             "than the document (modification times, as cp -u and make\n"
             "compare them); the others count as \"up to date\". A run\n"
             "stopped half-way goes on where it stopped. A text file\n"
             "gets the time its document had when its conversion began\n"
             "(as cp -p keeps it): a document changed meanwhile is\n"
             "converted again by the next run.",
         SetsFlag(&BatchOptions::update)},
        {"--report", {}, "FILE", Kind::File,
             "write a report a script can read (JSON Lines, FILE - for\n"
             "stdout): one object per document as it finishes, with\n"
             "source, target, status (converted, failed, skipped,\n"
             "up-to-date), reason (failed and skipped), seconds and bytes\n"
             "(the text file's size), then {\"summary\": {...}} with the\n"
             "counts, the seconds and, for a stopped run, stopped-by. A\n"
             "path that is not UTF-8 is written escaped as below, with\n"
             "\"escaped\": true. Never written through a symbolic link,\n"
             "nor onto another user's file, a hard-linked file, a device\n"
             "or a file of the batch (exit 2). A report that could not\n"
             "be written whole makes the exit status 1 at least.",
         file(&BatchOptions::reportFile, "--report")},
        {"--files-from", {}, "FILE", Kind::File,
             "also convert the paths listed in FILE (- for stdin), one a\n"
             "line; empty lines are passed over",
         file(&BatchOptions::filesFrom, "--files-from")},
        {"--null", "-0", {}, Kind::None,
             "the list's paths end with a NUL byte (find -print0)",
         SetsFlag(&BatchOptions::nullSeparated)},
        {"--stdout", {}, {}, Kind::None,
             "write the text of exactly one document to stdout, the same\n"
             "bytes its text file would hold; nothing is written beside\n"
             "the document, and stderr gets failures only. The user's\n"
             "service (tarnwick --serve --user) converts it when it can:\n"
             "its office is running already, so a call takes tens of\n"
             "milliseconds instead of a second or more. When none runs,\n"
             "the call starts it in the background (its log in\n"
             "~/.cache/tarnwick/serve.log); it keeps one office and ends\n"
             "itself with it after 10 minutes without a document, or at\n"
             "tarnwick --serve --user --stop. Only a socket of this\n"
             "user's is used. A document the service cannot convert is\n"
             "converted again by an office of the call's own, so that\n"
             "what fails says why as it always did",
         SetsFlag(&BatchOptions::toStdout)},
        {"--no-service", {}, {}, Kind::None,
             "with --stdout: convert with an office of this call's own,\n"
             "and start no service",
         SetsFlag(&BatchOptions::noService)},
        {"--confined", {}, "MODE", Kind::Text,
             "auto (the default): every office runs confined where this\n"
             "system allows it (no network, no files of the user's but\n"
             "the document's bytes), else unconfined, saying so on\n"
             "stderr; require: convert nothing rather than run an\n"
             "office unconfined (exit 2)",
         TakesConfinement(&BatchOptions::requireConfinement)},
        {"--quiet", "-q", {}, Kind::None, "print failures only", SetsFlag(&BatchOptions::quiet)},
        {"--help", "-h", {}, Kind::None, "print this text", SetsFlag(&BatchOptions::help)},
        {"--", {}, {}, Kind::None, "everything after it is a PATH", {}},
    };
}

std::variant<BatchOptions, UsageError> ParseBatchOptions(const QStringList &arguments)
{
    BatchOptions options;
    options.extensions = {QStringLiteral("odt"), QStringLiteral("ott"), QStringLiteral("sxw"), QStringLiteral("stw")};
    options.jobs = DefaultJobs();
    const auto parsed = ParseOptionTable(BatchOptionRows(), arguments, true, options);
    if (const auto *error = std::get_if<UsageError>(&parsed))
        return *error;
    options.paths = std::get<GivenArguments>(parsed).paths;
    options.given = std::get<GivenArguments>(parsed).options;
    if (options.help)
        return options;
    if (options.paths.isEmpty() && options.filesFrom.isEmpty())
        return UsageError{QStringLiteral("No documents or folders were given.")};
    if (options.mirror && options.outDir.isEmpty())
        return UsageError{QStringLiteral("--mirror places the text files below the folder of --out, and none was "
                                         "given.")};
    if (options.nullSeparated && options.filesFrom.isEmpty())
        return UsageError{QStringLiteral("--null applies to the list of --files-from, and none was given.")};
    if (options.toStdout) {
        // The text goes nowhere else, so there is no text file to place or compare.
        for (const auto &[given, name] : {std::pair{!options.outDir.isEmpty(), "--out"},
                                          std::pair{options.update, "--update"},
                                          std::pair{options.reportFile == QLatin1String("-"), "--report -"}}) {
            if (given)
                return UsageError{QStringLiteral("--stdout writes no text file; it cannot go with %1.")
                                      .arg(QLatin1String(name))};
        }
    }
    return options;
}

QString BatchHelpText()
{
    // The help of the options comes from their table; %1 in it is the default jobs.
    return (QStringLiteral("Usage: tarnwick --convert [options] PATH...\n"
               "       tarnwick --convert [options] --files-from FILE [PATH...]\n"
               "       tarnwick --convert --stdout DOCUMENT\n"
               "\n"
               "Converts Writer documents to plain text files (UTF-8) without a window, with\n"
               "LibreOffice's \"Text\" export, exactly as the window's \"Start Converting To TXT\"\n"
               "does. Needs no display.\n"
               "\n"
               "PATH is a document or a folder. A folder is walked with all folders below it, in\n"
               "name order, as \"Add All Writer File(s) In Folder\" walks it: hidden files, names\n"
               "that begin with \"~\" (office lock files), symbolic links to folders and the Trash\n"
               "are left out, and only files with one of the extensions of --ext are kept. A\n"
               "document named on the command line is converted whatever its extension.\n"
               "What the walk cannot reach by a path fails with a line of its own: each\n"
               "document below a folder whose path passes the system's limit (4096 bytes) or\n"
               "whose name is not valid UTF-8, each document whose own path is such, and each\n"
               "folder that may not be read.\n"
               "\n"
               "Each text file is named after its document: the name up to its last dot, then\n"
               "\"txt\" (report.final.odt gives report.final.txt). An existing text file of that\n"
               "name is replaced only by a whole save; a symbolic link, a read-only file or one\n"
               "that is no plain file is refused. A document is never written over, nor is any\n"
               "document of the batch; when two documents would give the same text file, the\n"
               "first one (in the order given) is converted and the second is reported and not\n"
               "written.\n"
               "\n"
               "Options:\n")
            + OptionListText(BatchOptionRows())
            + QStringLiteral("\n"
               "The largest documents are converted first. Each office has a profile folder of\n"
               "its own under ~/.cache/tarnwick/ and a private pipe: the batch disturbs neither\n"
               "the window's office nor a LibreOffice the user has open, and they do not disturb\n"
               "it.\n"
               "\n"
               "On a terminal a progress line on stderr shows the documents done, the one at\n"
               "hand, the time gone and an estimate of the time left. Every document that fails\n"
               "gets one line on stderr with its path and the reason; a summary (converted,\n"
               "failed, skipped, time) ends the run. Names are printed with control characters\n"
               "and bytes that are not UTF-8 escaped as ls -b shows them (\\033, \\r, \\351; a\n"
               "backslash as \\\\).\n"
               "\n"
               "SIGINT (Ctrl-C), SIGTERM or SIGHUP stops the batch: no new document is started,\n"
               "the offices are ended, the unfinished text files removed, the summary so far\n"
               "printed and the report closed with its summary, wherever the program waits; a\n"
               "second signal ends it at once.\n"
               "\n"
               "Exit status: 0 when every document was converted or up to date; 1 when some\n"
               "failed or were skipped, or the report is incomplete; 2 for a command line that\n"
               "cannot be run, or when no LibreOffice is found or none of the batch's offices can\n"
               "be started; 128 + the signal when stopped by one (130 for Ctrl-C).\n"))
        .arg(DefaultJobs());
}
