#include "input/AddFilesDialog.h"

#include "core/ErrorReport.h"
#include "util/PathHelpers.h"

#include <QDir>

void AddFilesByDialog(ListWindow &window)
{
    Dialogs &dialogs = window.dialogs();
    StepRunner step(dialogs, FormLocation(QStringLiteral("PushButton3_Click")));
    QStringList picked;
    step(100, [&] {
        picked = dialogs.openFiles(QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"),
                                   {QStringLiteral("Writer Documents (*.odt;*.ott;*.sxw;*.stw) (*.odt *.ott *.sxw *.stw)"),
                                    QStringLiteral("All Files (*.*) (*)")});
    });
    if (picked.isEmpty()) // cancelled
        return;
    if (picked.size() == 1) {
        step(102, [&] { window.appendRow(QDir::toNativeSeparators(picked.first())); });
        return;
    }
    for (const QString &path : picked)
        step(104, [&] { window.appendRow(CollapseBackslashes(QDir::toNativeSeparators(path))); });
}
