#pragma once

#include "util/AppError.h"

#include <QByteArray>
#include <QString>
#include <vector>

// One pass of readdir over a folder, with the entry kinds the folder scan needs.
// Kinds come from the directory entry itself where the file system gives them, so
// a listing costs no stat per regular file.

struct DirectoryEntry {
    enum class Kind { Folder, File, Link, Other };
    QString name;
    Kind kind;
    bool nameable; // false when the decoded name no longer leads to the same bytes
    QByteArray systemName; // the name's own bytes, kept only when it is not nameable
};

// Why a folder could not be listed. The error numbers are the ones the walk acts
// on: permission denied and path not found remove the folder from the walk.
class FolderReadError : public AppError {
public:
    enum Code { PermissionDenied = 70, PathNotFound = 76, Other = 0 };
    FolderReadError(Code code, const QString &description) : AppError(description), m_code(code) {}
    static FolderReadError fromErrno(int error);
    Code code() const { return m_code; }

private:
    Code m_code;
};

// The entries of a folder except "." and "..", unsorted; with foldersOnly, just the
// real folders (the walk needs no file names, and decoding them is most of its cost).
// Throws FolderReadError.
std::vector<DirectoryEntry> ReadDirectoryEntries(const QByteArray &folder, bool foldersOnly = false);

// Name order of the listing: letters regardless of case, exact order as tie-break
// so that the result never depends on the file system's own order.
bool ComesBeforeInListing(const QString &a, const QString &b);

// What a path given as text names, following links (stat()).
enum class PathKind { Missing, Folder, File, Other }; // File: a regular file
PathKind KindOfPath(const QString &path);
PathKind KindOfPath(const QByteArray &systemPath);
