#pragma once

// The window's thread does all of the program's own work. Long commands keep the
// window alive by letting pending window events through between items of work;
// while the office works on a call, the window's thread handles its events too.

// Processes every pending window event, then returns.
void YieldToEvents();

// Returns after the given number of seconds, processing window events meanwhile.
// Waits on a timer in the event loop (no busy spinning) measured on a monotonic
// clock. A duration of 0 or less returns at once without processing any event.
void Pause(double seconds);
