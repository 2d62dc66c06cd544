#pragma once

#include "convert/ConversionRun.h"
#include "convert/OfficeBridge.h"
#include "core/Dialogs.h"
#include "core/Settings.h"
#include "input/ListWindow.h"

#include <QCursor>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <optional>

class CaptionProgressBar;
class FileListView;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The caption of the file list's one column.
inline QString FileListCaption()
{
    return QStringLiteral("ODT/OpenOffice Writer Files");
}

// The program's one window. Its controls keep their design names as object names
// (tests find them by those), and each handler is named after its control and event.
// The commands that fill the list and the conversion run see the window through
// ListWindow and RunWindow.
class Form1 : public QWidget, public ListWindow, public RunWindow {
    Q_OBJECT
public:
    Form1(Dialogs &dialogs, Settings &settings, OfficeBridge &office, QWidget *parent = nullptr);
    ~Form1() override;

    // Runs the start-up sequence. Returns false when the program must end without
    // showing the window (the office suite cannot be reached).
    bool Form_Load();
    // Shows the window in the middle of the screen, moved by `offset`.
    void showCentred(QPoint offset = QPoint());
    // How far a second window is moved from the first, which it would otherwise hide.
    static constexpr QPoint ApartOffset{64, 64};

    // ListWindow and RunWindow.
    Dialogs &dialogs() override { return m_dialogs; }
    Settings &settings() override { return m_settings; }
    QString applicationTitle() const override { return m_applicationTitle; }
    void appendRow(const QString &path) override;
    QStringList rows() const override;
    int rowCount() const override;
    std::optional<QString> rowText(int position) const override;
    Destination destination() const override;
    QString folderText() const override;
    void setProgressValue(double percent) override;
    void setProgressCaption(const QString &caption) override;
    void setBusy(bool busy) override;

    bool isBusy() const { return m_busy; }
    double progressValue() const { return m_progressValue; }
    bool IsConverting() const { return m_run.IsConverting(); }
    ConversionRun &conversionRun() { return m_run; }

    void SetApplicationTitle(const QString &productName);
    // The hand shown over the push buttons; without one the normal arrow shows.
    void setHandPointer(const std::optional<QCursor> &hand) { m_handPointer = hand; }

    // Where the optional pictures, the skin and the samples are looked for; the
    // program's own folder unless a test says otherwise.
    void setProgramFolder(const QString &folder);
    // The start-up draw for the home page (1..100); tests fix it.
    void setHomePageDraw(std::function<int()> draw) { m_homePageDraw = std::move(draw); }
    // What closing the window does once the office and the partial files are gone:
    // end the program at once. Tests replace it.
    void setTerminator(std::function<void()> terminate) { m_terminate = std::move(terminate); }

public slots:
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton6_Click();
    void PushButton8_Click();
    void PushButton9_Click();
    void ListView1_OLEDragDrop(const QStringList &paths);
    // Another start of the program handed its documents and folders to this window:
    // they are added as a drop adds them, and the window comes to the front.
    void takeHandedOverPaths(const QStringList &paths);
    void Option1_Click();
    void Option2_Click();
    void Text1_Change();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void connectHandlers();
    void pointerNormal();
    void pointerHand();

    Dialogs &m_dialogs;
    Settings &m_settings;
    OfficeBridge &m_office;
    ConversionRun m_run;

    FileListView *m_fileList = nullptr;        // ListView1
    QPushButton *m_startButton = nullptr;      // PushButton2
    QPushButton *m_addFilesButton = nullptr;   // PushButton3
    QPushButton *m_browseButton = nullptr;     // PushButton4
    QPushButton *m_addFolderButton = nullptr;  // PushButton6
    QPushButton *m_clearButton = nullptr;      // PushButton8
    QPushButton *m_samplesButton = nullptr;    // PushButton9
    QGroupBox *m_saveOptionFrame = nullptr;    // Frame3
    QGroupBox *m_folderFrame = nullptr;        // Frame4
    QRadioButton *m_toFolderOption = nullptr;  // Option1
    QRadioButton *m_besideSourceOption = nullptr; // Option2
    QLineEdit *m_folderBox = nullptr;          // Text1
    CaptionProgressBar *m_progressBar = nullptr;     // ProgressBar1

    QString m_applicationTitle;
    bool m_busy = false;
    double m_progressValue = 0;
    std::optional<QCursor> m_handPointer;
    std::function<void()> m_terminate;
    QString m_programFolder;
    std::function<int()> m_homePageDraw;
};
