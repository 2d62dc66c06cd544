#pragma once

#include <QString>
#include <optional>

// `tarnwick --help` (-h) and `tarnwick --version` (-V), anywhere on the command
// line before "--" and with no display: the usage of the window and of
// `--convert`, or the program's version and the LibreOffice it drives. Returns the
// exit status when the command line asks for either, nothing otherwise. Call
// before any QApplication exists.
std::optional<int> RunInfoOption(int argc, char **argv);

// The program's version, as CMake knows it.
const char *ProgramVersion();

// Writes `text` to standard output; 0, or 1 with a line on stderr when it could not
// all be written there (a full disk, a closed pipe), as the coreutils do.
int PrintProgramText(const QString &text);
