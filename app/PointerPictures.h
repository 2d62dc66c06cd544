#pragma once

#include <QCursor>
#include <QString>
#include <optional>

// The pointer pictures that may sit in the program's folder.

// The hand shown over the push buttons, from "HAND-M.CUR"; nullopt when the file is
// missing. Throws AppError when the file is there but is no picture.
std::optional<QCursor> LoadHandPointer(const QString &programFolder);

// The pointer shown while a row is moved, from "drag.ico"; a standard move pointer
// when the file is missing or unreadable.
QCursor LoadDragPointer(const QString &programFolder);
