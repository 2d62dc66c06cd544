#pragma once

#include "input/ListWindow.h"

// "Add Writer File(s)": the open-file dialog, each picked file appended as one row.
void AddFilesByDialog(ListWindow &window);
