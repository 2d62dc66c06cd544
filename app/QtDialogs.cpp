#include "app/QtDialogs.h"

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

} // namespace

Dialogs::Answer QtDialogs::message(const QString &text, const QString &title, Buttons buttons,
                                   Icon icon)
{
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
    // The last bracket of each filter holds its patterns; only the description is shown.
    return QFileDialog::getOpenFileNames(m_owner, title, QString(), filters.join(QStringLiteral(";;")),
                                         nullptr, QFileDialog::HideNameFilterDetails);
}

QString QtDialogs::browseFolder(const QString &title, const QString &startFolder)
{
    return QFileDialog::getExistingDirectory(m_owner, title, startFolder,
                                             QFileDialog::ShowDirsOnly);
}

std::optional<QString> QtDialogs::inputText(const QString &prompt, const QString &title,
                                            const QString &defaultText)
{
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
