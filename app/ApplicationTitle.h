#pragma once

#include <QString>

// The short form of the product name that titles every message without a title of
// its own: the name without its last word, cut further at blanks until it fits in
// 40 characters. A name without a blank is its own title.
QString ApplicationTitleOf(const QString &productName);
