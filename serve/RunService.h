#pragma once

// `tarnwick --serve [options]`: the conversion service over HTTP, until SIGTERM or
// SIGINT. Call before any QApplication exists; makes its own QCoreApplication.
// argv[1] is "--serve". Returns the exit status: 0 after a stop by signal, 2 for
// bad usage, when no office is found or the address cannot be listened on.
int RunService(int argc, char **argv);

// True when the command line asks for the service.
bool IsServeCommand(int argc, char **argv);
