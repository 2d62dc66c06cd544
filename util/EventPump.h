#pragma once

// The program has one thread. Long commands keep the window alive by letting
// pending window events through between items of work.

// Processes every pending window event, then returns.
void YieldToEvents();

// Returns after the given number of seconds, processing window events meanwhile.
// Waits on a timer in the event loop (no busy spinning) measured on a monotonic
// clock. A duration of 0 or less returns at once without processing any event.
void Pause(double seconds);
