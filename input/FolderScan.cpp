#include "input/FolderScan.h"

#include "core/ErrorReport.h"
#include "core/ProductConfig.h"
#include "input/DirectoryEntries.h"
#include "input/WalkExclusions.h"
#include "util/EventPump.h"
#include "util/PathHelpers.h"

#include <QFile>

#include <algorithm>

namespace {

// The platform's limit on one name (NAME_MAX); MaxPathBytes is that on a whole path.
constexpr qsizetype MaxNameBytes = 255;

bool isDirectory(const QString &path)
{
    return KindOfPath(path) == PathKind::Folder;
}

void sortForListing(QStringList &names)
{
    std::sort(names.begin(), names.end(), ComesBeforeInListing);
}

// The real sub-folders of one folder in listing order. Symbolic links are left out:
// following them could walk the same tree twice or forever. So are names that are
// not valid UTF-8: the program could not name them again.
QStringList subFolderNames(const QString &folder, const UnreachedSink &unreached)
{
    QStringList names;
    const QByteArray path = QFile::encodeName(folder);
    for (DirectoryEntry &entry : ReadDirectoryEntries(path, true)) {
        if (entry.nameable)
            names << std::move(entry.name);
        else if (unreached)
            unreached({path + entry.systemName + '/', QString()});
    }
    sortForListing(names);
    return names;
}

// Any name the system gives is valid here, "?", tabs and other control characters
// included.
bool isAcceptedSubFolderName(const QString &name)
{
    if (name.toUtf8().size() > MaxNameBytes)
        return false;
    return name != QLatin1String(".") && name != QLatin1String("..");
}

// One call of the walk over one level: lists the sub-folders of every entry of
// `level` and returns them. An entry that cannot be listed for lack of permission or
// because it vanished is removed from `level`.
//
// Until the first entry gets as far as its listing, a failing step is shown as an
// error report and the walk goes on with the next step; from then on a failure only
// ends the work on the entry at hand, silently.
//
// Entries of the first level are what the caller gave and are tested to be folders.
// Deeper entries were just listed as folders; opening them is their test (a folder
// that vanished since fails to open and is removed, which leaves the same result).
FolderList walkLevel(FolderList &level, bool givenByCaller, StepRunner &report, const WalkExclusions &excluded,
                     const UnreachedSink &unreached, const WalkStopped &stopped)
{
    FolderList below;
    bool listingMode = false;

    qsizetype i = 0;
    while (i < level.size() && !(stopped && stopped())) {
        const QString folder = level[i];
        const auto step = [&](int line, const std::function<void()> &work) {
            if (listingMode)
                work();
            else
                report(line, work);
        };
        bool removed = false;
        try {
            bool isFolder = true;
            if (givenByCaller)
                step(108, [&] { isFolder = isDirectory(folder); });
            bool fits = true;
            step(110, [&] { fits = QFile::encodeName(folder).size() < MaxPathBytes; });
            if (isFolder && fits) {
                step(114, [] { YieldToEvents(); });
                // No folder here carries a system attribute, so none is kept out at
                // this point; links were already kept out when they were listed.
                listingMode = true;
                for (const QString &name : subFolderNames(folder, unreached)) {
                    YieldToEvents();
                    if (isAcceptedSubFolderName(name) && !excluded.excludes(folder, name))
                        below << folder + name + PathSeparator();
                }
            } else if (isFolder && unreached) {
                unreached({QFile::encodeName(folder), QString()});
            }
        } catch (const FolderReadError &error) {
            if (unreached && error.code() != FolderReadError::PathNotFound)
                unreached({QFile::encodeName(folder), error.description()});
            if (error.code() != FolderReadError::Other) {
                const qsizetype at = level.indexOf(folder);
                if (at >= 0) {
                    level.removeAt(at);
                    removed = at <= i; // the entry after F now sits at i
                }
            }
        } catch (...) {
            // Any other failure only ends the work on this folder.
        }
        if (!removed)
            ++i;
    }
    return below;
}

QChar foldedAt(const QString &text, qsizetype i)
{
    return text[i].toCaseFolded();
}

} // namespace

void GetSubDirectories2016(FolderList &folders, bool recurse, Dialogs &dialogs, const UnreachedSink &unreached,
                           const WalkStopped &stopped)
{
    StepRunner report(dialogs, QLatin1String(ProductConfig::FolderWalkLocation));

    // One level at a time. Each level is the given list of the next one; the levels
    // below the first are appended at the end, nearest first.
    const WalkExclusions excluded;
    std::vector<FolderList> levels;
    FolderList below = walkLevel(folders, true, report, excluded, unreached, stopped);
    while (recurse && !below.isEmpty() && !(stopped && stopped())) {
        levels.push_back(std::move(below));
        below = walkLevel(levels.back(), false, report, excluded, unreached, stopped);
    }
    if (!below.isEmpty())
        levels.push_back(std::move(below));

    for (const FolderList &level : levels) {
        for (const QString &folder : level) {
            if (!isDirectory(folder))
                continue; // vanished while the walk went on
            YieldToEvents();
            folders << folder;
        }
    }
}

QStringList ListFolderFiles(const QString &folder, const QString &pattern,
                            const std::function<void(const QByteArray &name)> &leftOut)
{
    if (folder.isEmpty())
        return {};
    QString path = folder;
    if (!path.endsWith(PathSeparator()))
        path += PathSeparator();
    const QByteArray bytes = QFile::encodeName(path);
    if (bytes.contains('\0') || bytes.size() >= MaxPathBytes)
        throw AppError(QStringLiteral("Bad file name or number"));

    std::vector<DirectoryEntry> entries;
    try {
        entries = ReadDirectoryEntries(bytes);
    } catch (const FolderReadError &error) {
        if (error.code() != FolderReadError::Other)
            return {};
        throw;
    }

    // Regular files only, also behind a link: a FIFO or a device would hold up the
    // office that reads it.
    const bool nearLimit = bytes.size() + MaxNameBytes >= MaxPathBytes; // some names may not fit
    QStringList names;
    for (DirectoryEntry &entry : entries) {
        const bool fileOrLink = entry.kind == DirectoryEntry::Kind::File || entry.kind == DirectoryEntry::Kind::Link;
        if (!fileOrLink || !MatchesFilePattern(entry.name, pattern))
            continue;
        if (!entry.nameable) {
            if (leftOut
                && (entry.kind == DirectoryEntry::Kind::File || KindOfPath(bytes + entry.systemName) == PathKind::File))
                leftOut(entry.systemName);
            continue;
        }
        if (leftOut && nearLimit && bytes.size() + QFile::encodeName(entry.name).size() >= MaxPathBytes) {
            leftOut(QFile::encodeName(entry.name));
            continue;
        }
        if (entry.kind == DirectoryEntry::Kind::File || IsExistingFile(path + entry.name))
            names << std::move(entry.name);
    }
    sortForListing(names);
    return names;
}

bool IsExistingFile(const QString &path)
{
    return KindOfPath(path) == PathKind::File;
}

bool MatchesFilePattern(const QString &name, const QString &pattern)
{
    if (pattern == QLatin1String("*.*"))
        return true; // every name, also one without a dot

    // Greedy wildcard match that backs up to the last "*" on a mismatch.
    qsizetype n = 0, p = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starP = p++;
            starN = n;
        } else if (p < pattern.size()
                   && (pattern[p] == QLatin1Char('?') || foldedAt(pattern, p) == foldedAt(name, n))) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}
