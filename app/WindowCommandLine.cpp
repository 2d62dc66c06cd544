#include "app/WindowCommandLine.h"

#include "util/PathHelpers.h"

#include <QDir>

namespace {

// The path of one argument, or an empty string when it names nothing this program
// can address.
QString pathOf(const QByteArray &argument, const QDir &currentFolder)
{
    if (argument.isEmpty())
        return {};
    if (!IsUtf8(argument))
        return {};
    return QDir::cleanPath(currentFolder.absoluteFilePath(QString::fromUtf8(argument)));
}

} // namespace

std::variant<WindowPaths, WindowUsageError> ParseWindowCommandLine(const QByteArrayList &arguments,
                                                                   const QString &currentFolder)
{
    const QDir folder(currentFolder);
    WindowPaths result;
    bool options = true;
    for (const QByteArray &argument : arguments) {
        if (options && argument == "--") {
            options = false;
            continue;
        }
        if (options && argument.startsWith('-')) {
            const QString option = QString::fromLocal8Bit(argument);
            if (option == QLatin1String("--convert"))
                return WindowUsageError{QStringLiteral("--convert must come first, before any path.")};
            return WindowUsageError{
                QStringLiteral("unknown option %1 (a file whose name begins with \"-\" goes after \"--\").")
                    .arg(option)};
        }
        const QString path = pathOf(argument, folder);
        if (!path.isEmpty())
            result.paths << path;
    }
    return result;
}

QString WindowUsageText()
{
    return QStringLiteral("Usage: tarnwick [FILE|FOLDER]...\n"
                          "       tarnwick --convert [options] PATH...\n"
                          "See tarnwick --help, or man tarnwick.\n");
}
