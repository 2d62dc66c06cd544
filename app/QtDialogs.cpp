#include "app/QtDialogs.h"

#include <QAccessible>
#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

namespace {

// Messages keep the program's own line breaks (CR LF, and CR alone); Qt's labels
// break lines only at LF.
QString forDisplay(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// Gives the keyboard focus back to the control of the owner's window that held it
// before a dialog (or to its first control), and says so to assistive technologies:
// a window that becomes active again takes its focus back without telling them.
class FocusReturn {
public:
    explicit FocusReturn(QWidget *owner) : m_owner(owner), m_control(owner ? owner->focusWidget() : nullptr) {}
    FocusReturn(const FocusReturn &) = delete;
    FocusReturn &operator=(const FocusReturn &) = delete;

    ~FocusReturn()
    {
        if (!m_owner)
            return;
        QWidget *control = m_control && m_control->isEnabled() && m_control->isVisible() ? m_control.data()
                                                                                         : firstControl();
        if (!control)
            return;
        m_owner->activateWindow();
        control->setFocus(Qt::OtherFocusReason);
        QAccessibleEvent focus(control, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }

private:
    QWidget *firstControl() const
    {
        for (QWidget *w = m_owner->nextInFocusChain(); w && w != m_owner; w = w->nextInFocusChain()) {
            if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisible() && m_owner->isAncestorOf(w))
                return w;
        }
        return nullptr;
    }

    QPointer<QWidget> m_owner;
    QPointer<QWidget> m_control;
};

} // namespace

Dialogs::Answer QtDialogs::message(const QString &text, const QString &title, Buttons buttons,
                                   Icon icon)
{
    const FocusReturn focusReturn(m_owner);
    QMessageBox box(m_owner);
    box.setWindowTitle(title);
    // Messages carry file names, which must show as they are, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(forDisplay(text));
    switch (icon) {
    case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
    case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return Answer::Ok;
}

QStringList QtDialogs::openFiles(const QString &title, const QStringList &filters)
{
    const FocusReturn focusReturn(m_owner);
    // The last bracket of each filter holds its patterns; only the description is shown.
    return QFileDialog::getOpenFileNames(m_owner, title, QString(), filters.join(QStringLiteral(";;")),
                                         nullptr, QFileDialog::HideNameFilterDetails);
}

QString QtDialogs::browseFolder(const QString &title, const QString &startFolder)
{
    const FocusReturn focusReturn(m_owner);
    return QFileDialog::getExistingDirectory(m_owner, title, startFolder,
                                             QFileDialog::ShowDirsOnly);
}

std::optional<QString> QtDialogs::inputText(const QString &prompt, const QString &title,
                                            const QString &defaultText)
{
    const FocusReturn focusReturn(m_owner);
    bool ok = false;
    const QString text =
        QInputDialog::getText(m_owner, title, forDisplay(prompt), QLineEdit::Normal, defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

void QtDialogs::openUrl(const QString &url)
{
    QDesktopServices::openUrl(QUrl(url));
}

void QtDialogs::openFolder(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
