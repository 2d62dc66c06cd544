#pragma once

// The window's run on the real office, as the tests of bad input drive it, and
// what a folder tree holds before and after it.
#include "app/MainWindow.h"
#include "convert/office/UnoOfficeBridge.h"
#include "input/FileListView.h"
#include "support/WindowFixture.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>


// What a folder tree holds: per relative path, the content's hash and the file's
// time; folders count by their presence only.
using TreeState = QMap<QString, QString>;

inline TreeState treeState(const QString &root)
{
    TreeState state;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        QString what = QStringLiteral("folder");
        if (!info.isDir()) {
            QFile file(info.filePath());
            const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
            what = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())
                   + QLatin1Char(' ') + info.lastModified().toString(Qt::ISODateWithMs);
        }
        state.insert(QDir(root).relativeFilePath(info.filePath()), what);
    }
    return state;
}

// "+ path" for what is new, "- path" for what has gone, "* path" for what changed.
inline QStringList treeChanges(const TreeState &before, const TreeState &after)
{
    QStringList changes;
    for (auto it = before.begin(); it != before.end(); ++it) {
        if (!after.contains(it.key()))
            changes << QStringLiteral("- ") + it.key();
        else if (after.value(it.key()) != it.value())
            changes << QStringLiteral("* ") + it.key();
    }
    for (auto it = after.begin(); it != after.end(); ++it)
        if (!before.contains(it.key()))
            changes << QStringLiteral("+ ") + it.key();
    changes.sort();
    return changes;
}

// Lines of the error reports ("146", ...), their texts and the plain messages of one run.
struct Outcome {
    QStringList lines;
    QStringList reports;
    QStringList messages;
};

// A window whose settings live in the given file, on `office`.
inline std::unique_ptr<WindowFixture> openWindow(OfficeBridge &office, const QString &settingsFile)
{
    auto w = std::make_unique<WindowFixture>(settingsFile);
    w->make(&office, 0.05);
    return w;
}

// The base of a test class that runs the window on one real office, kept for the
// whole class, in a temporary folder of its own.
class WindowRunTest : public QObject {
protected:
    QTemporaryDir m_dir;
    UnoOfficeBridge m_office;

    // Presses Start on a window listing the rows; the text files go to the folder,
    // or beside each source when the folder is empty. Rows are appended, or dropped on
    // the list as a file manager would drop them.
    enum class Fill { Append, Drop };
    Outcome convert(const QStringList &rows, const QString &folder,
                    const std::function<void(Form1 &)> &duringRun = {}, Fill fill = Fill::Append)
    {
        auto w = openWindow(m_office, m_dir.filePath(QStringLiteral("settings.ini")));
        Form1 &form = *w->window;
        if (!form.Form_Load())
            qFatal("the office suite cannot be reached");
        if (fill == Fill::Append) {
            for (const QString &row : rows)
                ListView1(form)->AppendRow(row);
        } else {
            QMimeData dropped;
            QList<QUrl> urls;
            for (const QString &row : rows)
                urls << QUrl::fromLocalFile(row);
            dropped.setUrls(urls);
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(ListView1(form)->viewport(), &enter);
            QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(ListView1(form)->viewport(), &drop);
        }
        if (folder.isEmpty()) {
            Option2(form)->setChecked(true);
        } else {
            Option1(form)->setChecked(true);
            Text1(form)->setText(folder);
        }
        QTimer watch;
        if (duringRun) {
            connect(&watch, &QTimer::timeout, &form, [&] { duringRun(form); });
            // At every pass of the event loop: at each of the run's yields, not only
            // at those that come 5 ms after the last (the window's thread handles its
            // events during the office's calls too, so no yield is overdue).
            watch.start(0);
        }
        w->dialogs.messages.clear();
        QTest::mouseClick(PushButton2(form), Qt::LeftButton);

        Outcome outcome;
        for (const ScriptedDialogs::Shown &shown : w->dialogs.messages) {
            if (shown.title == QLatin1String("Application Error")) {
                outcome.lines << shown.text.section(QStringLiteral("at line "), 1).section(QLatin1Char('\r'), 0, 0);
                outcome.reports << shown.text.section(QStringLiteral("\r\n"), 0, 0);
            } else
                outcome.messages << shown.text;
        }
        return outcome;
    }
};
