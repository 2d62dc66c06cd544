#pragma once

#include "core/Dialogs.h"

#include <QPointer>
#include <QWidget>

// The real dialogs: Qt's message boxes, file and folder dialogs and the desktop's
// handlers for web addresses and folders.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget *owner = nullptr) : m_owner(owner) {}
    void setOwner(QWidget *owner) { m_owner = owner; }

    Answer message(const QString &text, const QString &title, Buttons buttons, Icon icon) override;
    QStringList openFiles(const QString &title, const QStringList &filters) override;
    QString browseFolder(const QString &title, const QString &startFolder) override;
    std::optional<QString> inputText(const QString &prompt, const QString &title,
                                     const QString &defaultText) override;
    void openUrl(const QString &url) override;
    void openFolder(const QString &path) override;

private:
    QPointer<QWidget> m_owner;
};
