#pragma once

#include "core/Dialogs.h"

#include <functional>

// Dialogs for a run without a window: nobody can answer, so messages become
// lines for the run to print (an error report of the folder walk, say), questions
// get their default answer and pickers are cancelled.
class ConsoleDialogs final : public Dialogs {
public:
    explicit ConsoleDialogs(std::function<void(const QString &line)> print) : m_print(std::move(print)) {}

    Answer message(const QString &text, const QString &title, Buttons buttons, Icon icon) override;
    QStringList openFiles(const QString &, const QStringList &) override { return {}; }
    QString browseFolder(const QString &, const QString &) override { return {}; }
    std::optional<QString> inputText(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    void openUrl(const QString &) override {}
    void openFolder(const QString &) override {}

private:
    std::function<void(const QString &)> m_print;
};
