#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Everything that shows a dialog or reaches outside the program goes through this
// interface, so that handlers can be driven in tests without modal loops.
class Dialogs {
public:
    enum class Buttons { Ok, YesNo };
    enum class Icon { None, Exclamation, Information, Question, Critical };
    enum class Answer { Ok, Yes, No };

    virtual ~Dialogs() = default;

    virtual Answer message(const QString &text, const QString &title, Buttons buttons, Icon icon) = 0;

    // Multi-select open-file dialog; full paths in the dialog's order, empty on cancel.
    // Filters are in Qt's syntax ("Description (*.a *.b)").
    virtual QStringList openFiles(const QString &title, const QStringList &filters) = 0;

    // Folder browser opened at startFolder (when it exists); the chosen folder or
    // empty text on cancel.
    virtual QString browseFolder(const QString &title, const QString &startFolder) = 0;

    // One-line input box; nullopt on cancel.
    virtual std::optional<QString> inputText(const QString &prompt, const QString &title,
                                             const QString &defaultText) = 0;

    // Hands a web address or a folder to the desktop; not waited for, not checked.
    virtual void openUrl(const QString &url) = 0;
    virtual void openFolder(const QString &path) = 0;
};
