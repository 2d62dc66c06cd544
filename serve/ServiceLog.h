#pragma once

#include <QJsonObject>

// One JSON object a line on stderr, with the time (UTC) first, written whole with
// one write, as --report writes its lines: a line per request, and a few about
// the service itself (listening, an office that cannot be started, stopping).
// Control characters are escaped as JsonLine escapes them.
void LogLine(QJsonObject fields);
