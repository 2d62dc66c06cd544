#pragma once

#include "app/Dialogs.h"

#include <functional>

// "Add Writer File(s)": the open-file dialog, each picked file appended as one row.
void PushButton3_Click(Dialogs &dialogs, const std::function<void(const QString &)> &appendRow);
