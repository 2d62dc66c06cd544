#pragma once

#include <optional>

// `tarnwick --help` (-h) and `tarnwick --version` (-V), anywhere on the command
// line before "--" and with no display: the usage of the window and of
// `--convert`, or the program's version and the LibreOffice it drives. Returns the
// exit status when the command line asks for either, nothing otherwise. Call
// before any QApplication exists.
std::optional<int> RunInfoOption(int argc, char **argv);

// The program's version, as CMake knows it.
const char *ProgramVersion();
