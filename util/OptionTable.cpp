#include "util/OptionTable.h"

#include <algorithm>

namespace {

// Where the help column begins, and the longest label that fits before it.
constexpr qsizetype kHelpColumn = 21;
constexpr qsizetype kLongestLabel = kHelpColumn - 4;

} // namespace

std::variant<QString, UsageError> OptionValue(const QStringList &arguments, qsizetype &i, const QString &name)
{
    const QString &argument = arguments[i];
    if (argument.startsWith(name + QLatin1Char('=')))
        return argument.mid(name.size() + 1);
    if (i + 1 >= arguments.size())
        return UsageError{QStringLiteral("%1 needs a value.").arg(name)};
    return arguments[++i];
}

// Plain digits only: toInt() alone would also take " 2", "2 " and "+2".
std::variant<int, UsageError> WholeNumberOption(const QString &text, const QString &name, int lowest, int highest)
{
    const bool digits = !text.isEmpty() && std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    bool ok = false;
    const int value = digits ? text.toInt(&ok) : 0;
    if (!ok || value < lowest || value > highest)
        return UsageError{QStringLiteral("%1 takes a whole number from %2 to %3, not \"%4\".")
                              .arg(name)
                              .arg(lowest)
                              .arg(highest)
                              .arg(text)};
    return value;
}

QString OptionLabel(const QString &name, const QString &valueName, const QString &shortName)
{
    QString label = name;
    if (!valueName.isEmpty())
        label += QLatin1Char(' ') + valueName;
    if (!shortName.isEmpty())
        label += QStringLiteral(", ") + shortName;
    return label;
}

QString OptionListText(const QList<QString> &labels, const QList<QString> &helps)
{
    const QString indent(kHelpColumn, QLatin1Char(' '));
    QString text;
    for (qsizetype row = 0; row < labels.size(); ++row) {
        text += QStringLiteral("  ") + labels[row];
        const QStringList lines = helps[row].split(QLatin1Char('\n'));
        if (labels[row].size() > kLongestLabel)
            text += QLatin1Char('\n') + indent;
        else
            text += QString(kHelpColumn - 2 - labels[row].size(), QLatin1Char(' '));
        text += lines.join(QLatin1Char('\n') + indent) + QLatin1Char('\n');
    }
    return text;
}
