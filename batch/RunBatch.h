#pragma once

// `tarnwick --convert [options] PATH...`: converts documents to text files without
// a window (and without a display). Call before any QApplication exists; makes its
// own QCoreApplication. argv[1] is "--convert". Returns the exit status: 0 when
// every document was converted, 1 when some were not, 2 for bad usage or when no
// office is found.
int RunBatch(int argc, char **argv);

// True when the command line asks for the batch rather than the window.
bool IsBatchCommand(int argc, char **argv);
