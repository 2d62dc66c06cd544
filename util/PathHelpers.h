#pragma once

#include <QByteArrayView>
#include <QChar>
#include <QString>

// Taking paths apart and testing what they name. The only separator these helpers
// know is the platform's native one ("/" here, "\" on Windows); letter case is never
// changed and nothing is normalised beyond what each function says.

QChar PathSeparator();

// The text after the last separator; the whole path when it holds none; empty when
// the path ends with a separator or is empty.
QString FileNameOf(const QString &path);

// The text up to and including the last separator; empty when it holds none.
QString FolderOf(const QString &path);

// Doubled separators become single in one left-to-right pass over non-overlapping
// pairs (three in a row become two). A leading run becomes the platform's root
// prefix: exactly one "/" here, exactly two "\" (the network prefix) on Windows.
QString CollapseBackslashes(const QString &path);

// True when the path names an existing folder (a trailing separator is fine).
bool IsFolder(const QString &path);

// True when the last-modified time of the path can be read.
bool FileExists(const QString &path);

// The user's desktop folder (XDG_DESKTOP_DIR, ~/Desktop by default) followed by one
// separator; the home folder when the desktop folder does not exist. Throws AppError
// when the platform knows neither.
QString GetDesktopFolder();

// The folder that holds the running program, followed by one separator.
QString ProgramFolder();

// $XDG_RUNTIME_DIR when it is a folder of this user's own; empty otherwise (unset,
// or another user's, as root's `su` without `-` keeps it).
QString OwnRuntimeFolder();

// Unsets XDG_RUNTIME_DIR unless it is this user's own, so that nothing of the
// program's, its offices' or Qt's is ever made in another user's runtime folder.
// Call first thing, before any thread runs.
void ForgetForeignRuntimeFolder();

// True when the bytes are valid UTF-8: a name the program can hold as text and give
// back to the system unchanged.
bool IsUtf8(QByteArrayView bytes);
