#include "support/ScriptedDialogs.h"

Dialogs::Answer ScriptedDialogs::message(const QString &text, const QString &title,
                                         Buttons buttons, Icon icon)
{
    const Shown shown{text, title, buttons, icon};
    messages << shown;
    if (onMessage)
        onMessage(shown);
    if (!answers.isEmpty())
        return answers.dequeue();
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}

QStringList ScriptedDialogs::openFiles(const QString &title, const QStringList &filters)
{
    fileRequests << (QStringList{title} + filters);
    return files.isEmpty() ? QStringList() : files.dequeue();
}

QString ScriptedDialogs::browseFolder(const QString &title, const QString &startFolder)
{
    folderRequests << QStringList{title, startFolder};
    return folders.isEmpty() ? QString() : folders.dequeue();
}

std::optional<QString> ScriptedDialogs::inputText(const QString &prompt, const QString &title,
                                                  const QString &defaultText)
{
    inputRequests << QStringList{prompt, title, defaultText};
    return inputs.isEmpty() ? std::nullopt : inputs.dequeue();
}

QStringList ScriptedDialogs::errorReports() const
{
    QStringList texts;
    for (const Shown &shown : messages)
        if (shown.title == QLatin1String("Application Error"))
            texts << shown.text;
    return texts;
}
