#pragma once

// SIGINT, SIGTERM and SIGHUP, caught for the batch to stop in good order. The
// handler only writes the signal's number into a pipe (safe in a handler, and
// whichever thread the system picks to run it), which the batch's main thread
// reads. After the first, the signals get their default action back: a second
// Ctrl-C ends the program at once, for a stop that takes too long.
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

private:
    int m_first = 0;
};
