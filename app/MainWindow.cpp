#include "app/MainWindow.h"

#include "app/ApplicationTitle.h"
#include "app/ErrorReport.h"
#include "app/HomePageDraw.h"
#include "app/PointerPictures.h"
#include "input/AddFilesDialog.h"
#include "input/DroppedPaths.h"
#include "input/FileListView.h"
#include "input/ListWindow.h"
#include "input/SampleFiles.h"
#include "input/WholeFolderAdd.h"
#include "util/PathHelpers.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
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

Form1::Form1(Dialogs &dialogs, SettingsStore &settings, OfficeBridge &office, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint),
      m_dialogs(dialogs), m_settings(settings), m_office(office), m_run(*this, office, dialogs),
      m_terminate([this] {
          // Ends at once, also in the middle of a command; the private office goes too.
          m_office.shutdown();
          std::_Exit(0);
      }),
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
    ListView1->setDragPointer(LoadDragPointer(folder));
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    setFixedSize(twips(0, 0, 8040, 6675).size());
    setFont(arialBold(9));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    ListView1 = control<FileListView>(this, "ListView1", twips(120, 120, 7800, 2535));
    ListView1->setToolTip(QStringLiteral("Drag and drop files here. Double-click item to remove it. "
                                         "Move | line to right and out of window to reveal full names."));
    ListView1->setBusyTest([this] { return m_busy; });
    ListView1->setWindowPointerRule([this] { pointerNormal(); });
    ListView1->setDropFilter([](const QMimeData &mime) { return CarriesFileList(&mime); });
    ListView1->setDropHandler([this](const QMimeData &mime) { ListView1_OLEDragDrop(mime); });

    const QFont buttonFont = arialBold(11.25);
    auto button = [&](const char *name, const QString &caption, const QRect &geometry, QWidget *parent) {
        auto *b = control<QPushButton>(parent, name, geometry, caption);
        b->setFont(buttonFont);
        b->setMouseTracking(true);
        b->installEventFilter(this);
        return b;
    };
    PushButton3 = button("PushButton3", QStringLiteral("Add Writer File(s)"), twips(120, 2745, 3840, 405), this);
    PushButton6 = button("PushButton6", QStringLiteral("Add All Writer File(s) In Folder"), twips(4080, 2745, 3840, 405), this);
    PushButton8 = button("PushButton8", QStringLiteral("Clear List"), twips(120, 3255, 3840, 405), this);
    PushButton9 = button("PushButton9", QStringLiteral("Load Sample/Example Files"), twips(4080, 3255, 3840, 405), this);

    Frame3 = control<QGroupBox>(this, "Frame3", twips(120, 3720, 7800, 1815), QStringLiteral("Save Option"));
    Option1 = control<QRadioButton>(Frame3, "Option1", twips(240, 300, 3615, 255), QStringLiteral("Save results to this folder:"));
    Frame4 = control<QGroupBox>(Frame3, "Frame4", twips(480, 510, 6840, 810));
    Text1 = control<QLineEdit>(Frame4, "Text1", twips(240, 300, 5670, 345));
    Text1->unsetCursor(); // the folder box shows the window's pointer
    PushButton4 = button("PushButton4", QStringLiteral("..."), twips(6000, 330, 600, 345), Frame4);
    Option2 = control<QRadioButton>(Frame3, "Option2", twips(240, 1410, 3615, 255), QStringLiteral("Save results in folder of original file"));
    Option1->setChecked(true); // the design state, before any handler is connected

    PushButton2 = button("PushButton2", QStringLiteral("Start Converting To TXT"), twips(120, 5650, 7800, 405), this);
    ProgressBar1 = control<QProgressBar>(this, "ProgressBar1", twips(120, 6170, 7800, 405));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setAlignment(Qt::AlignCenter);
    ProgressBar1->setFormat(QStringLiteral("Progress Bar"));

    for (QWidget *w : std::initializer_list<QWidget *>{this, Frame3, Frame4, Text1}) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }

    QWidget *order[] = {ListView1, ProgressBar1, PushButton3, PushButton6, PushButton2, PushButton8,
                        PushButton9, Frame3, Frame4, Text1, PushButton4, Option1, Option2};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void Form1::connectHandlers()
{
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(PushButton8, &QPushButton::clicked, this, &Form1::PushButton8_Click);
    connect(PushButton9, &QPushButton::clicked, this, &Form1::PushButton9_Click);
    connect(Option1, &QRadioButton::toggled, this, [this](bool on) { if (on) Option1_Click(); });
    connect(Option2, &QRadioButton::toggled, this, [this](bool on) { if (on) Option2_Click(); });
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
}

void Form1::showCentred()
{
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
}

// ---- handlers --------------------------------------------------------------

void Form1::PushButton2_Click()
{
    m_run.PushButton2_Click();
}

void Form1::PushButton3_Click()
{
    ::PushButton3_Click(m_dialogs, [this](const QString &path) { ListView1->AppendRow(path); });
}

void Form1::PushButton4_Click()
{
    ::PushButton4_Click(destinationControls(), m_dialogs, m_settings);
}

void Form1::PushButton6_Click()
{
    AddAllFilesInFolder(listWindow());
}

void Form1::PushButton9_Click()
{
    LoadSampleFilesCommand(listWindow(), m_programFolder);
}

void Form1::ListView1_OLEDragDrop(const QMimeData &mime)
{
    // The drop has no error report of its own; whatever goes wrong, the program stays.
    try {
        AddDroppedPaths(DroppedLocalPaths(&mime), [this](const QString &path) { ListView1->AppendRow(path); },
                        m_dialogs);
    } catch (...) {
    }
}

ListWindow Form1::listWindow()
{
    return ListWindow{m_dialogs,
                      m_settings,
                      m_applicationTitle,
                      [this](const QString &path) { ListView1->AppendRow(path); },
                      [this] { return ListView1->Rows(); },
                      [this](bool busy) { setBusy(busy); }};
}

void Form1::PushButton8_Click()
{
    StepRunner step(m_dialogs, FormLocation(QStringLiteral("PushButton8_Click")));
    bool busy = false;
    step(100, [&] { busy = m_busy; });
    if (!busy)
        step(102, [&] { ListView1->Clear(); });
}

void Form1::Option1_Click()
{
    OptionClick(destinationControls(), m_settings);
}

void Form1::Option2_Click()
{
    OptionClick(destinationControls(), m_settings);
}

void Form1::Text1_Change()
{
    ::Text1Change(Text1->text(), m_settings);
}

DestinationControls Form1::destinationControls() const
{
    return DestinationControls{Option1, Option2, Frame4, Text1};
}

// ---- what the run sees -----------------------------------------------------

int Form1::rowCount() const
{
    return ListView1->Count();
}

std::optional<QString> Form1::rowText(int position) const
{
    return ListView1->RowText(position);
}

Destination Form1::destination() const
{
    if (Option1->isChecked())
        return Destination::ChosenFolder;
    if (Option2->isChecked())
        return Destination::SourceFolder;
    return Destination::Neither;
}

QString Form1::folderText() const
{
    return Text1->text();
}

void Form1::setProgressValue(double percent)
{
    m_progressValue = percent;
    ProgressBar1->setValue(qBound(0, qRound(percent), 100));
}

void Form1::setProgressCaption(const QString &caption)
{
    ProgressBar1->setFormat(caption);
}

QString Form1::progressCaption() const
{
    return ProgressBar1->format();
}

void Form1::setBusy(bool busy)
{
    m_busy = busy;
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
    if (m_terminate)
        m_terminate();
}
