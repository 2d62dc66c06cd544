#include "app/MainWindow.h"

#include "app/HomePageDraw.h"
#include "app/PointerPictures.h"
#include "app/ProductIcon.h"
#include "app/Skin.h"
#include "convert/OfficeCheck.h"
#include "core/ErrorReport.h"
#include "core/ProductConfig.h"
#include "input/FileListView.h"
#include "input/SampleFiles.h"
#include "util/PathHelpers.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLineEdit>
#include <QRadioButton>

namespace {

// Selects or clears one of the two options. Selecting runs the option's click handler
// (also when it was selected already); clearing runs nothing.
void setOption(QRadioButton *option, bool selected, const std::function<void()> &click)
{
    if (selected) {
        if (option->isChecked())
            click();
        else
            option->setChecked(true); // toggled() runs the click handler
        return;
    }
    // An exclusive option cannot be cleared directly; both may end up clear.
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
}

} // namespace

bool Form1::Form_Load()
{
    StepRunner step(m_dialogs, FormLocation(QStringLiteral("Form_Load")));

    step(100, [&] { ApplySkin(*this, m_programFolder); });
    bool hasHand = false;
    step(102, [&] { hasHand = FileExists(m_programFolder + QStringLiteral("HAND-M.CUR")); });
    if (hasHand)
        step(104, [&] { setHandPointer(LoadHandPointer(m_programFolder)); });
    step(106, [&] { MaybeOpenHomePage(m_dialogs, m_homePageDraw); });
    step(108, [&] { RecordSampleFilesIfMissing(m_settings, m_programFolder); });

    step(130, [&] {
        setWindowTitle(QLatin1String(ProductConfig::ProductName));
        setWindowIcon(ProductIcon());
        SetApplicationTitle(QLatin1String(ProductConfig::ProductName));
    });
    step(132, [&] { m_fileList->setHeaderLabels({FileListCaption()}); });
    step(134, [&] { m_fileList->header()->resizeSection(0, (7000 + 7) / 15); });
    step(136, [&] {
        const QString folder = m_settings.GetSetting(QStringLiteral("Text1"), GetDesktopFolder());
        if (m_folderBox->text() == folder)
            Text1_Change(); // no change signal, but the text is stored all the same
        else
            m_folderBox->setText(folder);
    });
    step(138, [&] {
        const bool chosen = ReadYesNo(m_settings.GetSetting(QStringLiteral("Option1"), QStringLiteral("1")));
        setOption(m_toFolderOption, chosen, [this] { Option1_Click(); });
    });
    step(140, [&] {
        const bool chosen = ReadYesNo(m_settings.GetSetting(QStringLiteral("Option2"), QStringLiteral("0")));
        setOption(m_besideSourceOption, chosen, [this] { Option2_Click(); });
    });
    bool option1 = true;
    step(142, [&] { option1 = m_toFolderOption->isChecked(); });
    if (option1)
        step(144, [&] { m_folderFrame->setEnabled(true); });
    else
        step(146, [&] { m_folderFrame->setEnabled(false); });

    bool officeReachable = true;
    step(148, [&] { officeReachable = CheckOfficeSuite(m_office, m_dialogs, m_applicationTitle); });
    return officeReachable;
}
