#pragma once

#include "core/Dialogs.h"

#include <QList>
#include <QQueue>
#include <functional>

// A test double for Dialogs: records every message and request, and answers from
// queues the test fills beforehand (cancel when a queue is empty).
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        QString text;
        QString title;
        Buttons buttons;
        Icon icon;
    };

    QList<Shown> messages;
    QQueue<Answer> answers;              // default: Ok, or No for Yes/No boxes
    QQueue<QStringList> files;           // openFiles results
    QQueue<QString> folders;             // browseFolder results
    QQueue<std::optional<QString>> inputs;
    QList<QStringList> fileRequests;     // title, then the filters
    QList<QStringList> folderRequests;   // title, start folder
    QList<QStringList> inputRequests;    // prompt, title, default
    QStringList openedUrls;
    QStringList openedFolders;
    std::function<void(const Shown &)> onMessage; // runs while the box would be open

    Answer message(const QString &text, const QString &title, Buttons buttons, Icon icon) override;
    QStringList openFiles(const QString &title, const QStringList &filters) override;
    QString browseFolder(const QString &title, const QString &startFolder) override;
    std::optional<QString> inputText(const QString &prompt, const QString &title,
                                     const QString &defaultText) override;
    void openUrl(const QString &url) override { openedUrls << url; }
    void openFolder(const QString &path) override { openedFolders << path; }

    // Texts of the messages titled "Application Error".
    QStringList errorReports() const;
};
