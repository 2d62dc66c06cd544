#pragma once

#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>

// Settings the private office needs, written into its profile once it answers,
// at every start (a profile made by an older version, or changed by hand, gets them
// back). Throws a UNO exception when the office refuses them.
//
// Always: document locking off. The office would otherwise write a lock file beside
// every source it loads, and leave it there for good when it crashes.
//
// With `tuned` (what the program uses; false only to measure what it gains):
// - Safety and privacy: macros never run (highest macro security level as well),
//   Writer never updates links to other files, the list of recent documents keeps
//   none, no document recovery or autosave. A document loaded into a frame, as the
//   run loads it, is governed by these, not by the stricter defaults of a hidden
//   load.
// - Speed: nobody sees the office, yet every document gets a frame with toolbars, a
//   status bar and a sidebar, and Writer checks its spelling and collects words
//   for completion in the background. All of that is switched off, and new Writer
//   frames are tiny. None of it changes the text written.
void applyOfficeSettings(const css::uno::Reference<css::uno::XComponentContext> &office, bool tuned = true);
