#pragma once

#include "input/ListWindow.h"

#include <QString>
#include <QStringList>

class Settings;

// The sample documents installed in "Samples" beside the program. Their paths are
// recorded once, on the first start, in the setting `Snapshot` (scrambled, so the
// value does not read as a plain list of paths); "Load Sample/Example Files" adds
// the recorded files that still exist and are not listed yet.
//
// `programFolder` is the folder that holds the program (ProgramFolder() in the
// program; a temporary folder in tests), with or without a trailing separator.

// The samples folder: programFolder + "Samples", no trailing separator.
QString SampleFolder(const QString &programFolder);

// Records the full path of every file now in the samples folder, hidden ones
// included, joined by "|". Writes empty text when there is none, so the next start
// tries again.
void RecordSampleFiles(Settings &settings, const QString &programFolder);

// The first-start step: records the samples when `Snapshot` reads as empty text.
// Returns whether it recorded.
bool RecordSampleFilesIfMissing(Settings &settings, const QString &programFolder);

// Appends each recorded sample that exists and is not in the list (exact, case-
// sensitive comparison), then asks whether to open the samples folder; Yes opens
// it. May throw.
void LoadSampleFiles(ListWindow &window, const QString &programFolder);

// The "Load Sample/Example Files" command: LoadSampleFiles under the error report.
void LoadSampleFilesCommand(ListWindow &window, const QString &programFolder);

// True when some row's text equals the path exactly.
bool IsInFileList(const QStringList &rows, const QString &path);

// The question asked after loading.
QString OpenSampleFolderQuestion();

// Scrambles text with a key of lowercase letters: each byte of the text's UTF-8 form
// is added to the key's byte at the same place (the key repeats), wrapping past 255
// so that every result byte lies in 1..255. The result holds one character per byte
// (codes 1..255) and has as many characters as the UTF-8 form has bytes.
QString ScrambleText(const QString &plain, const QString &key);
QString UnscrambleText(const QString &scrambled, const QString &key);

// The key the program scrambles `Snapshot` with.
QString SampleKey();
