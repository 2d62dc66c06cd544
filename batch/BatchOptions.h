#pragma once

#include "util/OptionTable.h"

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
    QStringList given;      // the options named, by their long names, in the order given
};

// What --confined=MODE does: "require" sets `field`, "auto" clears it.
template <typename Options>
auto TakesConfinement(bool Options::*field)
{
    return [field](Options &options, const QString &value) -> std::optional<QString> {
        if (value != QLatin1String("auto") && value != QLatin1String("require"))
            return QStringLiteral("--confined takes auto or require, not %1.").arg(value);
        options.*field = value == QLatin1String("require");
        return std::nullopt;
    };
}

// The jobs when none are asked for: one per core, at most four (each office takes
// some 150 MiB, and more than four rarely helps).
int DefaultJobs();

// The options of `tarnwick --convert`, one row each: its parser and the option
// list of its --help come from them.
QList<OptionRow<BatchOptions>> BatchOptionRows();

// Parses the arguments after "--convert". Checks only the command line itself;
// whether the paths and the output folder exist is the run's business.
std::variant<BatchOptions, UsageError> ParseBatchOptions(const QStringList &arguments);

// The text of --help.
QString BatchHelpText();
