#pragma once

#include <QByteArrayList>
#include <QString>
#include <QStringList>
#include <variant>

// The window's command line: `tarnwick [FILE|FOLDER]...`, as a file manager's "Open
// With" gives it. `tarnwick --convert ...` is the batch's, told apart before this.

// The documents and folders to add to the list once the window shows: absolute,
// without a trailing separator, in the order given, as a drop names them. An empty
// argument, or one that is not valid UTF-8 (the program could not name that file
// again), is left out, as a drop leaves it out.
struct WindowPaths {
    QStringList paths;
};

// A command line that cannot be run; the text says why, in plain words.
struct WindowUsageError {
    QString text;
};

// Parses the arguments after the program's name. An argument that begins with "-" is
// an option, and the window knows none yet; "--" ends the options, so that a file
// whose name begins with "-" can be named after it. Relative paths are taken from
// `currentFolder`.
std::variant<WindowPaths, WindowUsageError> ParseWindowCommandLine(const QByteArrayList &arguments,
                                                                   const QString &currentFolder);

// The usage lines printed after a usage error.
QString WindowUsageText();
