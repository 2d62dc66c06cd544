#pragma once

// Some daemons and cron set-ups start programs with standard input, output or
// error closed. The first files and pipes the program opens would then take
// descriptors 0 to 2, and whatever is printed for the user would go into them (a
// signal pipe read as a signal, a report or a text file with messages in it).
// Called first thing in main(): each of the three that is closed is opened on
// /dev/null, and remembered as closed.
void OpenClosedStandardStreams();

// True when descriptor `fd` (0 to 2) was closed when the program started.
bool StandardStreamWasClosed(int fd);
