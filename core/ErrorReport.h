#pragma once

#include "core/Dialogs.h"

#include <QString>
#include <functional>

// A command handler runs as numbered steps. When a step fails, one "Application
// Error" box names the handler and the step, and the handler goes on with the next
// step: a command can show several reports and still reach its normal end.

// The location string of a handler of the main window ("in ...Form1.<handler> ").
QString FormLocation(const QString &handlerName);

// The text of the error report.
QString ErrorReportText(const QString &description, const QString &location, int line);

class StepRunner {
public:
    StepRunner(Dialogs &dialogs, QString location) : m_dialogs(dialogs), m_location(std::move(location)) {}

    // Runs one step. Returns false when it failed (after the report was shown).
    // A test inside a step that fails counts as passed: the caller keeps the value
    // it started with, so start tests as "true" where the step guards something.
    bool operator()(int line, const std::function<void()> &step);

    // Shows the report for a failure that was caught elsewhere.
    void report(const QString &description, int line);

    int failures() const { return m_failures; }

private:
    Dialogs &m_dialogs;
    QString m_location;
    int m_failures = 0;
};
