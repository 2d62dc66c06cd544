#pragma once

#include "core/Dialogs.h"

#include <functional>

// A number from 1 to 100, drawn from a generator seeded with the time of day.
int DrawFromTimeOfDay();

// On about one start in a hundred (a draw of 7) the maker's home page opens in the
// desktop's browser; nothing waits for it or checks it.
void MaybeOpenHomePage(Dialogs &dialogs, const std::function<int()> &draw = DrawFromTimeOfDay);
