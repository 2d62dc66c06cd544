#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// A file or folder that a walk passed over because it could not reach it by its
// path. The window's walks leave such paths out by design; the batch names them.
struct UnreachedPath {
    QByteArray path; // as the system spells it; a folder's ends in "/"
    // The system's words when opening or listing it failed; empty when the path
    // itself is the obstacle (longer than the system takes, or not valid UTF-8).
    QString error;
};

using UnreachedSink = std::function<void(const UnreachedPath &)>;

// Asked by a long walk once per folder: true ends the walk where it is (the batch,
// when a signal asks it to stop).
using WalkStopped = std::function<bool()>;

// The system's limit on a whole path, its terminating NUL included (PATH_MAX).
inline constexpr qsizetype MaxPathBytes = 4096;
