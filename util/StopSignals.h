#pragma once

// SIGINT, SIGTERM and SIGHUP, caught for the batch to stop in good order. The
// handler only notes the signal and writes a byte into a pipe (safe in a handler,
// and whichever thread the system picks to run it). The byte is never read: the
// pipe stays readable from the first signal on, so that any thread that waits on
// a pipe, a FIFO or a slow reader can wait on descriptor() too and see the stop
// within its poll(), whoever else saw it first. After the first, the signals get
// their default action back: a second Ctrl-C ends the program at once, for a stop
// that takes too long.
class StopSignals {
public:
    StopSignals();
    ~StopSignals(); // the default actions again
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    // Waits up to `milliseconds` for a signal; its number, or 0.
    int wait(int milliseconds);
    // The first signal caught so far, or 0; without waiting.
    int caught() { return wait(0); }
    // Readable once a signal has come; -1 when signals could not be caught.
    int descriptor() const;
};
