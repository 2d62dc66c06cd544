#pragma once

#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>

// Settings the private office needs, written into its profile once it answers.
// Document locking is off: the office would otherwise write a lock file beside
// every source it loads, and leave it there for good when it crashes.
// Throws a UNO exception when the office refuses them.
void applyOfficeSettings(const css::uno::Reference<css::uno::XComponentContext> &office);
