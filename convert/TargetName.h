#pragma once

#include <QString>

// Where the text file of one source document goes.
enum class Destination {
    ChosenFolder,   // "Save results to this folder:"
    SourceFolder,   // "Save results in folder of original file"
    Neither         // no option chosen: beside the source as well
};

// The source path without its extension, ending in "." so that "txt" can follow:
// /docs/report.final.odt gives /docs/report.final. and a name without an extension
// (notes, .profile) keeps its whole name: /docs/notes. Only the file name's own dot
// counts; dots in folder names are never an extension.
QString StemOf(const QString &sourcePath);

// The full path of the text file for sourcePath. folderText is the chosen folder,
// with or without a trailing separator; it is only used for ChosenFolder.
QString TargetPathOf(const QString &sourcePath, Destination destination, const QString &folderText);
