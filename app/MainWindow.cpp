#include "app/MainWindow.h"

#include "app/ApplicationTitle.h"
#include "app/CaptionProgressBar.h"
#include "app/HomePageDraw.h"
#include "app/PointerPictures.h"
#include "convert/OutputDestination.h"
#include "core/ErrorReport.h"
#include "input/AddFilesDialog.h"
#include "input/DroppedPaths.h"
#include "input/FileListView.h"
#include "input/SampleFiles.h"
#include "input/WholeFolderAdd.h"
#include "util/PartialFiles.h"
#include "util/PathHelpers.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <cstdlib>

namespace {

// The layout is given in twips; 15 twips make a pixel at 96 dots per inch.
QRect twips(int left, int top, int width, int height)
{
    auto px = [](int t) { return (t + 7) / 15; };
    return QRect(px(left), px(top), px(width), px(height));
}

QFont arialBold(double points)
{
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

template <class W, class... Args>
W *control(QWidget *parent, const char *name, const QRect &geometry, Args &&...args)
{
    auto *widget = new W(std::forward<Args>(args)..., parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

} // namespace

Form1::Form1(Dialogs &dialogs, Settings &settings, OfficeBridge &office, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint),
      m_dialogs(dialogs), m_settings(settings), m_office(office), m_run(*this, office, dialogs),
      m_terminate([] { std::_Exit(0); }),
      m_homePageDraw(DrawFromTimeOfDay)
{
    setObjectName(QStringLiteral("Form1"));
    buildControls();
    connectHandlers();
    setProgramFolder(ProgramFolder());
}

void Form1::setProgramFolder(const QString &folder)
{
    m_programFolder = folder;
    m_fileList->setDragPointer(LoadDragPointer(folder));
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    setFixedSize(twips(0, 0, 8040, 6675).size());
    setFont(arialBold(9));
    // White, with black text on it: the desktop's own text colour may be light.
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    setPalette(white);
    setAutoFillBackground(true);

    m_fileList = control<FileListView>(this, "ListView1", twips(120, 120, 7800, 2535));
    m_fileList->setToolTip(QStringLiteral("Drag and drop files here. Double-click item or press Delete to remove it; "
                                         "drag it to move it. A long name shows its beginning and its file name."));
    // A screen reader names the list after its column and describes it by its tooltip.
    m_fileList->setAccessibleName(FileListCaption());
    m_fileList->setAccessibleDescription(m_fileList->toolTip());

    const QFont buttonFont = arialBold(11.25);
    auto button = [&](const char *name, const QString &caption, const QRect &geometry, QWidget *parent) {
        auto *b = control<QPushButton>(parent, name, geometry, caption);
        b->setFont(buttonFont);
        b->setMouseTracking(true);
        b->installEventFilter(this);
        return b;
    };
    m_addFilesButton = button("PushButton3", QStringLiteral("Add Writer File(s)"), twips(120, 2745, 3840, 405), this);
    m_addFolderButton = button("PushButton6", QStringLiteral("Add All Writer File(s) In Folder"), twips(4080, 2745, 3840, 405), this);
    m_clearButton = button("PushButton8", QStringLiteral("Clear List"), twips(120, 3255, 3840, 405), this);
    m_samplesButton = button("PushButton9", QStringLiteral("Load Sample/Example Files"), twips(4080, 3255, 3840, 405), this);

    m_saveOptionFrame = control<QGroupBox>(this, "Frame3", twips(120, 3720, 7800, 1815), QStringLiteral("Save Option"));
    m_toFolderOption = control<QRadioButton>(m_saveOptionFrame, "Option1", twips(240, 300, 3615, 255), QStringLiteral("Save results to this folder:"));
    m_folderFrame = control<QGroupBox>(m_saveOptionFrame, "Frame4", twips(480, 510, 6840, 810));
    m_folderBox = control<QLineEdit>(m_folderFrame, "Text1", twips(240, 300, 5670, 345));
    m_folderBox->unsetCursor(); // the folder box shows the window's pointer
    m_browseButton = button("PushButton4", QStringLiteral("..."), twips(6000, 330, 600, 345), m_folderFrame);
    m_folderBox->setAccessibleName(m_toFolderOption->text());
    m_browseButton->setAccessibleName(QStringLiteral("Browse for the output folder"));
    m_besideSourceOption = control<QRadioButton>(m_saveOptionFrame, "Option2", twips(240, 1410, 3615, 255), QStringLiteral("Save results in folder of original file"));
    m_toFolderOption->setChecked(true); // the design state, before any handler is connected

    m_startButton = button("PushButton2", QStringLiteral("Start Converting To TXT"), twips(120, 5650, 7800, 405), this);
    m_progressBar = control<CaptionProgressBar>(this, "ProgressBar1", twips(120, 6170, 7800, 405));
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(true);
    m_progressBar->setAlignment(Qt::AlignCenter);
    m_progressBar->setAccessibleName(QStringLiteral("Conversion progress"));
    m_progressBar->setCaption(QString()); // idle: nothing to tell

    for (QWidget *w : std::initializer_list<QWidget *>{this, m_saveOptionFrame, m_folderFrame, m_folderBox}) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }

    QWidget *order[] = {m_fileList, m_progressBar, m_addFilesButton, m_addFolderButton, m_startButton, m_clearButton,
                        m_samplesButton, m_saveOptionFrame, m_folderFrame, m_folderBox, m_browseButton, m_toFolderOption, m_besideSourceOption};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void Form1::connectHandlers()
{
    connect(m_startButton, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(m_addFilesButton, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(m_browseButton, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(m_addFolderButton, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(m_clearButton, &QPushButton::clicked, this, &Form1::PushButton8_Click);
    connect(m_samplesButton, &QPushButton::clicked, this, &Form1::PushButton9_Click);
    connect(m_toFolderOption, &QRadioButton::toggled, this, [this](bool on) { if (on) Option1_Click(); });
    connect(m_besideSourceOption, &QRadioButton::toggled, this, [this](bool on) { if (on) Option2_Click(); });
    connect(m_folderBox, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(m_fileList, &FileListView::filesDropped, this, &Form1::ListView1_OLEDragDrop);
    connect(m_fileList, &FileListView::pointerMoved, this, &Form1::pointerNormal);
}

void Form1::showCentred(QPoint offset)
{
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft() + offset);
    }
    show();
}

// ---- handlers --------------------------------------------------------------

void Form1::PushButton2_Click()
{
    m_run.convertAll();
}

void Form1::PushButton3_Click()
{
    AddFilesByDialog(*this);
}

void Form1::PushButton4_Click()
{
    if (const std::optional<QString> folder = BrowseDestinationFolder(m_dialogs, m_settings))
        m_folderBox->setText(*folder);
}

void Form1::PushButton6_Click()
{
    AddAllFilesInFolder(*this);
}

void Form1::PushButton9_Click()
{
    LoadSampleFilesCommand(*this, m_programFolder);
}

void Form1::ListView1_OLEDragDrop(const QStringList &paths)
{
    // The drop has no error report of its own; whatever goes wrong, the program stays.
    try {
        AddDroppedPaths(paths, *this);
    } catch (...) {
    }
}

void Form1::takeHandedOverPaths(const QStringList &paths)
{
    const int before = m_fileList->Count();
    if (!paths.isEmpty())
        ListView1_OLEDragDrop(paths);
    m_fileList->RevealRowsFrom(before);
    if (!isVisible())
        return; // start-up has not shown the window yet; it shows when it is done
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void Form1::PushButton8_Click()
{
    StepRunner step(m_dialogs, FormLocation(QStringLiteral("PushButton8_Click")));
    bool busy = false;
    step(100, [&] { busy = m_busy; });
    if (!busy)
        step(102, [&] { m_fileList->Clear(); });
}

void Form1::Option1_Click()
{
    SaveDestinationOptions(m_settings, m_toFolderOption->isChecked(), m_besideSourceOption->isChecked());
    m_folderFrame->setEnabled(m_toFolderOption->isChecked());
}

void Form1::Option2_Click()
{
    SaveDestinationOptions(m_settings, m_toFolderOption->isChecked(), m_besideSourceOption->isChecked());
    m_folderFrame->setEnabled(m_toFolderOption->isChecked());
}

void Form1::Text1_Change()
{
    SaveDestinationFolder(m_settings, m_folderBox->text());
}

// ---- what the run sees -----------------------------------------------------

void Form1::appendRow(const QString &path)
{
    m_fileList->AppendRow(path);
}

QStringList Form1::rows() const
{
    return m_fileList->Rows();
}

int Form1::rowCount() const
{
    return m_fileList->Count();
}

std::optional<QString> Form1::rowText(int position) const
{
    return m_fileList->RowText(position);
}

Destination Form1::destination() const
{
    if (m_toFolderOption->isChecked())
        return Destination::ChosenFolder;
    if (m_besideSourceOption->isChecked())
        return Destination::SourceFolder;
    return Destination::Neither;
}

QString Form1::folderText() const
{
    return m_folderBox->text();
}

void Form1::setProgressValue(double percent)
{
    m_progressValue = percent;
    m_progressBar->setValue(qBound(0, qRound(percent), 100));
}

void Form1::setProgressCaption(const QString &caption)
{
    m_progressBar->setCaption(caption);
}

void Form1::setBusy(bool busy)
{
    m_busy = busy;
    m_fileList->setRemovalRefused(busy);
    setCursor(busy ? Qt::WaitCursor : Qt::ArrowCursor);
}

void Form1::SetApplicationTitle(const QString &productName)
{
    m_applicationTitle = ApplicationTitleOf(productName);
}

// ---- pointer rules and closing ---------------------------------------------

void Form1::pointerNormal()
{
    if (!m_busy)
        setCursor(Qt::ArrowCursor);
}

void Form1::pointerHand()
{
    if (!m_busy)
        setCursor(m_handPointer.value_or(QCursor(Qt::ArrowCursor)));
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    // Return and Enter press a push button that has the keyboard focus, as Space does;
    // outside a dialog Qt leaves them to nobody.
    if (event->type() == QEvent::KeyPress) {
        auto *button = qobject_cast<QPushButton *>(watched);
        const auto *key = static_cast<QKeyEvent *>(event);
        if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            if (button->isEnabled() && !key->isAutoRepeat()) // a held key presses once
                button->click();
            return true;
        }
    }
    if (event->type() == QEvent::MouseMove) {
        auto *widget = static_cast<QWidget *>(watched);
        const QPoint pos = static_cast<QMouseEvent *>(event)->position().toPoint();
        // Moves over a child reach its parent too; each widget's rule applies only
        // where the pointer is over the widget itself.
        if (!widget->childAt(pos)) {
            if (qobject_cast<QPushButton *>(widget))
                pointerHand();
            else
                pointerNormal();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent *event)
{
    event->accept();
    // The program ends at once, also in the middle of a command. The private office
    // goes first, so that it writes nothing more, then the file a save had begun.
    m_office.shutdown();
    RemovePartialFiles();
    if (m_terminate)
        m_terminate();
}
