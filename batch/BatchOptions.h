#pragma once

#include <QString>
#include <QStringList>
#include <variant>

// What `tarnwick --convert [options] PATH...` was asked to do.
struct BatchOptions {
    QStringList paths;      // documents and folders, as given
    QStringList extensions; // lower case, no dot: the files a folder walk keeps
    QString outDir;         // empty: each text file beside its document
    bool mirror = false;    // below outDir, each text file at its document's relative path
    int jobs = 1;           // private offices working at once
    int timeoutSeconds = 120;       // without work from the office: hung
    int documentLimitSeconds = 1800; // of work on one document: a runaway
    bool quiet = false;
    bool help = false;
    bool update = false;    // convert only documents newer than their text files
    QString reportFile;     // JSON Lines, one object per document; "-": stdout
    QString filesFrom;      // a list of paths; "-": stdin
    bool nullSeparated = false; // the list's paths end with NUL, not a line break
    bool toStdout = false;  // the one document's text goes to stdout
    bool noService = false; // --stdout converts with an office of its own, not the user's service
    bool requireConfinement = false; // --confined=require: no office runs unconfined
};

// A command line that cannot be run; the text says why, in plain words.
struct UsageError {
    QString text;
};

// The value of the option `name` at arguments[i], given as "--name=value" or
// "--name value"; advances i past what it took.
std::variant<QString, UsageError> OptionValue(const QStringList &arguments, qsizetype &i, const QString &name);
// --confined's value: true for "require", false for "auto", or why neither.
std::variant<bool, UsageError> ConfinementOption(const QString &text);
// A whole number of plain digits from lowest to highest, or why not.
std::variant<int, UsageError> WholeNumberOption(const QString &text, const QString &name, int lowest, int highest);

// The jobs when none are asked for: one per core, at most four (each office takes
// some 150 MiB, and more than four rarely helps).
int DefaultJobs();

// Parses the arguments after "--convert". Checks only the command line itself;
// whether the paths and the output folder exist is the run's business.
std::variant<BatchOptions, UsageError> ParseBatchOptions(const QStringList &arguments);

// The text of --help.
QString BatchHelpText();
