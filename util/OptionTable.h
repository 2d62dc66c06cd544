#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <variant>

// A command line that cannot be run; the text says why, in plain words.
struct UsageError {
    QString text;
};

// What an option's value is, for the shell's completion: a file, a folder, or
// something to type.
enum class OptionValueKind { None, Text, File, Folder };

// One option of a command, as the command's table gives it. The table is the one
// place an option is defined: the parser, the option list of --help, the check of
// the manual page and the shell's completion all come from it.
template <typename Options>
struct OptionRow {
    QString name;      // "--jobs"; "--" for the end of the options, which the parser handles
    QString shortName; // "-u", or empty
    QString valueName; // in --help: "N", "DIR"; empty for a switch, which takes no value
    OptionValueKind kind = OptionValueKind::None;
    QString help; // beside it in --help, its lines as printed there, without their indent
    // Takes the option into `options`; a switch gets an empty value. Returns why the
    // value is refused.
    std::function<std::optional<QString>(Options &, const QString &)> take;
};

// The arguments that are no options, and the long names of the options given.
struct GivenArguments {
    QStringList paths;
    QStringList options;
};

// The value of the option `name` at arguments[i], given as "--name=value" or
// "--name value"; advances i past what it took.
std::variant<QString, UsageError> OptionValue(const QStringList &arguments, qsizetype &i, const QString &name);

// A whole number of plain digits from lowest to highest, or why not.
std::variant<int, UsageError> WholeNumberOption(const QString &text, const QString &name, int lowest, int highest);

// What a switch does: sets `field`.
template <typename Options>
auto SetsFlag(bool Options::*field)
{
    return [field](Options &options, const QString &) {
        options.*field = true;
        return std::optional<QString>();
    };
}

// What an option of a whole number does: takes it, from lowest to highest, into
// `field`.
template <typename Options>
auto TakesWholeNumber(int Options::*field, const char *name, int lowest, int highest)
{
    return [=](Options &options, const QString &value) -> std::optional<QString> {
        const auto whole = WholeNumberOption(value, QLatin1String(name), lowest, highest);
        if (const auto *error = std::get_if<UsageError>(&whole))
            return error->text;
        options.*field = std::get<int>(whole);
        return std::nullopt;
    };
}

// The option list of --help: each option with its value and short name, then its
// help in a column of its own (below a name too long for the column).
QString OptionListText(const QList<QString> &labels, const QList<QString> &helps);

// The label of an option in --help: "--out DIR", "--update, -u".
QString OptionLabel(const QString &name, const QString &valueName, const QString &shortName);

// Parses `arguments` by the table `rows` into `options`. A switch is named alone
// (--quiet, -q); an option with a value as --name=value or --name value. With
// `takesPaths`, an argument that does not begin with "-" (or is "-" itself) is a
// path, and so is everything after "--"; without, it is an unknown option.
template <typename Options>
std::variant<GivenArguments, UsageError>
ParseOptionTable(const QList<OptionRow<Options>> &rows, const QStringList &arguments, bool takesPaths, Options &options)
{
    GivenArguments given;
    bool onlyPaths = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (takesPaths && (onlyPaths || !argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("-"))) {
            given.paths << argument;
            continue;
        }
        if (takesPaths && argument == QLatin1String("--")) {
            onlyPaths = true;
            continue;
        }
        const QString name = argument.section(QLatin1Char('='), 0, 0);
        const OptionRow<Options> *row = nullptr;
        for (const OptionRow<Options> &known : rows) {
            const bool named = known.valueName.isEmpty()
                                   ? argument == known.name
                                         || (!known.shortName.isEmpty() && argument == known.shortName)
                                   : name == known.name;
            if (known.take && named)
                row = &known;
        }
        if (!row)
            return UsageError{QStringLiteral("Unknown option %1.").arg(argument)};
        QString value;
        if (!row->valueName.isEmpty()) {
            const auto taken = OptionValue(arguments, i, name);
            if (const auto *error = std::get_if<UsageError>(&taken))
                return *error;
            value = std::get<QString>(taken);
        }
        if (const std::optional<QString> refused = row->take(options, value))
            return UsageError{*refused};
        given.options << row->name;
    }
    return given;
}

// The option list of --help for the table `rows`.
template <typename Options>
QString OptionListText(const QList<OptionRow<Options>> &rows)
{
    QList<QString> labels, helps;
    for (const OptionRow<Options> &row : rows) {
        labels << OptionLabel(row.name, row.valueName, row.shortName);
        helps << row.help;
    }
    return OptionListText(labels, helps);
}
