#pragma once

#include <QByteArrayView>
#include <QJsonObject>
#include <QString>

// Names and texts as the command line (the batch, the service) prints them on
// stderr, so that no file name can act on the terminal: control characters (below 32, 127, and U+0080 to U+009F) and
// bytes that are not UTF-8 become C escapes, as `ls -b` writes them ("\033", "\r",
// "\n", "\302\233", "\351"), and a backslash becomes "\\", so that every printed
// name reads back to its exact bytes (printf '%b'). Everything else, spaces and
// letters of any script included, is printed as it is. A print-time function: the
// paths the batch works with stay exact.
QString PrintableName(QByteArrayView systemName);
// The same for a name or a line of text held as text (in UTF-8 on the system).
QString PrintableText(const QString &text);

// Prints "tarnwick: TEXT" on stderr, TEXT made printable as above.
void PrintProgramError(const QString &text);

// One JSON object as one line ending in "\n", as the batch's report and the
// service's log write it: compact, and with every control character of its strings
// (below 32, 127, and U+0080 to U+009F) written as "\u00XX", so that no name can
// act on a terminal that shows the line, nor split it.
QByteArray JsonLine(const QJsonObject &object);
