#pragma once

#include "app/Dialogs.h"
#include "app/SettingsStore.h"
#include "convert/ConversionRun.h"
#include "convert/OfficeBridge.h"
#include "convert/OutputDestination.h"

#include <QCursor>
#include <QWidget>
#include <functional>
#include <optional>

class FileListView;
struct ListWindow;
class QGroupBox;
class QLineEdit;
class QMimeData;
class QProgressBar;
class QPushButton;
class QRadioButton;

// The program's one window. Controls keep their design names (also as object names,
// so tests find them); each handler is named after its control and event.
class Form1 : public QWidget, public RunWindow {
    Q_OBJECT
public:
    Form1(Dialogs &dialogs, SettingsStore &settings, OfficeBridge &office, QWidget *parent = nullptr);
    ~Form1() override;

    // Runs the start-up sequence. Returns false when the program must end without
    // showing the window (the office suite cannot be reached).
    bool Form_Load();
    void showCentred();

    // Controls.
    FileListView *ListView1;
    QPushButton *PushButton2, *PushButton3, *PushButton4, *PushButton6, *PushButton8, *PushButton9;
    QGroupBox *Frame3, *Frame4;
    QRadioButton *Option1, *Option2;
    QLineEdit *Text1;
    QProgressBar *ProgressBar1;

    // Handlers.
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton6_Click();
    void PushButton8_Click();
    void PushButton9_Click();
    void ListView1_OLEDragDrop(const QMimeData &data);
    void Option1_Click();
    void Option2_Click();
    void Text1_Change();

    // RunWindow: what the conversion run reads and shows.
    int rowCount() const override;
    std::optional<QString> rowText(int position) const override;
    Destination destination() const override;
    QString folderText() const override;
    void setProgressValue(double percent) override;
    void setProgressCaption(const QString &caption) override;
    void setBusy(bool busy) override;
    QString applicationTitle() const override { return m_applicationTitle; }

    bool isBusy() const { return m_busy; }
    double progressValue() const { return m_progressValue; }
    QString progressCaption() const;
    bool IsConverting() const { return m_run.IsConverting(); }

    void SetApplicationTitle(const QString &productName);
    // The hand shown over the push buttons; without one the normal arrow shows.
    void setHandPointer(const std::optional<QCursor> &hand) { m_handPointer = hand; }

    Dialogs &dialogs() { return m_dialogs; }
    SettingsStore &settings() { return m_settings; }
    OfficeBridge &office() { return m_office; }
    ConversionRun &conversionRun() { return m_run; }
    DestinationControls destinationControls() const;

    // Where the optional pictures, the skin and the samples are looked for; the
    // program's own folder unless a test says otherwise.
    void setProgramFolder(const QString &folder);
    QString programFolder() const { return m_programFolder; }
    // The start-up draw for the home page (1..100); tests fix it.
    void setHomePageDraw(std::function<int()> draw) { m_homePageDraw = std::move(draw); }

    // What closing the window does: end the program at once. Tests replace it.
    void setTerminator(std::function<void()> terminate) { m_terminate = std::move(terminate); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void connectHandlers();
    ListWindow listWindow();
    void pointerNormal();
    void pointerHand();

    Dialogs &m_dialogs;
    SettingsStore &m_settings;
    OfficeBridge &m_office;
    ConversionRun m_run;
    QString m_applicationTitle;
    bool m_busy = false;
    double m_progressValue = 0;
    std::optional<QCursor> m_handPointer;
    std::function<void()> m_terminate;
    QString m_programFolder;
    std::function<int()> m_homePageDraw;
};
