#pragma once

#include <QString>

class QWidget;

// The optional skin: "x/o.cjs" in the program's folder, a Qt style sheet. When it is
// there, the window and its option buttons, check boxes, frames and labels take the
// system's face colour, then the skin is applied to the window. Without it the window
// keeps its white design look. Throws AppError when the file cannot be read or is not
// a style sheet Qt accepts.
void ApplySkin(QWidget &window, const QString &programFolder);

// The skin file's path for a program folder (which ends with a separator).
QString SkinFileOf(const QString &programFolder);
