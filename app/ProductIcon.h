#pragma once

#include <QIcon>
#include <QImage>

// The product's icon, drawn by the program itself at 32, 48, 128 and 256 pixels: a
// page with a folded corner and lines of text, and an arrow turning it into plain text.
QImage ProductIconImage(int size);
QIcon ProductIcon();
