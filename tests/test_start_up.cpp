#include "support/WindowFixture.h"
#include "app/Skin.h"
#include "support/TestEnvironment.h"

#include <QPushButton>
#include <cmath>

// Start-up with and without the optional files of the program's folder.
class TestStartUp : public QObject {
    Q_OBJECT

    static void writeSkin(WindowFixture &fx, const QByteArray &sheet)
    {
        fx.file("program/x/o.cjs", sheet);
    }

    static QByteArray shippedSkin()
    {
        QFile shipped(QStringLiteral(TARNWICK_SOURCE_DIR "/assets/o.cjs"));
        return shipped.open(QIODevice::ReadOnly) ? shipped.readAll() : QByteArray();
    }

private slots:
    void withoutSkinTheWindowIsWhite()
    {
        WindowFixture fx;
        Form1 &w = fx.loaded();
        QCOMPARE(w.palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(w.styleSheet().isEmpty());
        QVERIFY(!Option1(w)->autoFillBackground());
        QVERIFY(fx.dialogs.messages.isEmpty());
    }

    void skinTakesTheFaceColourAndStyles()
    {
        WindowFixture fx;
        const QByteArray sheet = "QPushButton { background-color: #2f6db5; }";
        writeSkin(fx, sheet);
        Form1 &w = fx.loaded();
        const QColor face = w.palette().color(QPalette::Button);
        QCOMPARE(w.palette().color(QPalette::Window), face);
        for (QWidget *c : std::initializer_list<QWidget *>{Frame3(w), Frame4(w), Option1(w), Option2(w)}) {
            QCOMPARE(c->palette().color(QPalette::Window), face);
            QVERIFY(c->autoFillBackground());
        }
        QCOMPARE(w.styleSheet(), QString::fromUtf8(sheet));
        QVERIFY(fx.dialogs.messages.isEmpty());
    }

    void ourShippedSkinIsAccepted()
    {
        WindowFixture fx;
        writeSkin(fx, shippedSkin());
        Form1 &w = fx.loaded();
        QVERIFY(!w.styleSheet().isEmpty());
        QVERIFY(fx.dialogs.errorReports().isEmpty());
    }

    // WCAG 2.x contrast ratio of two colours, from their relative luminance.
    static double contrast(QColor a, QColor b)
    {
        const auto luminance = [](QColor c) {
            const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
            return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
        };
        const double la = luminance(a), lb = luminance(b);
        return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
    }

    // A row of the list and the folder box, rendered under a light and a dark desktop
    // palette, with and without our skin: their text stands out from its background.
    // With the skin, the Start label (4.5:1 for its size) and the keyboard's focus
    // ring (3:1 against the window outside it and the button's face inside it) meet
    // WCAG 2.x.
    void rowsAndFolderBoxReadUnderAnyPalette()
    {
        const auto spread = [](const QImage &picture) { // lightest grey minus darkest
            QList<int> greys;
            for (int i = 0; i < picture.width() * picture.height(); ++i)
                greys << qGray(picture.pixel(i % picture.width(), i / picture.width()));
            return *std::max_element(greys.begin(), greys.end()) - *std::min_element(greys.begin(), greys.end());
        };
        const QPalette light = QApplication::palette();
        const QColor grey(0x35, 0x35, 0x35), pale(0xe6, 0xe6, 0xe6);
        const QPalette dark(pale, grey, Qt::gray, Qt::black, Qt::darkGray, pale, Qt::white, QColor(0x2a, 0x2a, 0x2a), grey);
        for (const QPalette &palette : {light, dark})
            for (bool skinned : {false, true}) {
                QApplication::setPalette(palette);
                WindowFixture fx;
                if (skinned)
                    writeSkin(fx, shippedSkin());
                Form1 &w = fx.loaded();
                ListView1(w)->AppendRow("/docs/a row to read.odt");
                Text1(w)->setText("/docs/out/");
                const QRect row = ListView1(w)->visualItemRect(ListView1(w)->topLevelItem(0));
                const int rowSpread = spread(ListView1(w)->viewport()->grab(row).toImage());
                const int boxSpread = spread(Text1(w)->grab().toImage());
                if (skinned) {
                    QPushButton *start = PushButton2(w);
                    w.show();
                    w.activateWindow();
                    QVERIFY(QTest::qWaitForWindowActive(&w));
                    start->setFocus();
                    QTRY_VERIFY(start->hasFocus());
                    const QImage button = w.grab(start->geometry().adjusted(-3, -3, 3, 3)).toImage();
                    const int middle = button.height() / 2;
                    const QColor outside = button.pixelColor(0, middle), ring = button.pixelColor(3, middle),
                                 face = button.pixelColor(12, middle);
                    QVERIFY2(contrast(ring, outside) >= 3 && contrast(ring, face) >= 3,
                             qPrintable(QStringLiteral("ring %1 between %2 and %3")
                                            .arg(ring.name(), outside.name(), face.name())));
                    double label = 0;
                    for (int x = 6; x < button.width() - 6; ++x) // inside the ring
                        label = std::max(label, contrast(button.pixelColor(x, middle), face));
                    QVERIFY2(label >= 4.5, qPrintable(QString::number(label)));
                }
                QApplication::setPalette(light);
                QVERIFY2(rowSpread > 128 && boxSpread > 128, qPrintable(QString::number(rowSpread)));
            }
    }

    void brokenSkinIsReportedAndStartUpGoesOn()
    {
        WindowFixture fx;
        writeSkin(fx, "QPushButton { color: red; ");
        Form1 &w = fx.loaded();
        const QStringList reports = fx.dialogs.errorReports();
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports[0].contains("is not a valid style sheet"));
        QVERIFY(reports[0].contains("Form_Load at line 100\r\r"));
        QCOMPARE(w.windowTitle(), QString("Tarnwick"));
        QVERIFY(Text1(w)->text().endsWith("/Desktop/"));
        QVERIFY(w.styleSheet().isEmpty());
    }

    void skinThatIsAFolderCountsAsMissing()
    {
        WindowFixture fx;
        QDir().mkpath(fx.dir.filePath("program/x/o.cjs"));
        Form1 &w = fx.loaded();
        QCOMPARE(w.palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(fx.dialogs.messages.isEmpty());
    }

    void handPointerFromItsPicture()
    {
        WindowFixture fx;
        QDir().mkpath(fx.dir.filePath("program"));
        QImage hand(32, 32, QImage::Format_ARGB32);
        hand.fill(Qt::blue);
        QVERIFY(hand.save(fx.dir.filePath("program/HAND-M.CUR"), "cur"));
        Form1 &w = fx.loaded();
        w.show();
        hover(PushButton9(w));
        QCOMPARE(w.cursor().shape(), Qt::BitmapCursor);
        hover(&w);
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    }

    void unreadableHandPictureIsReported()
    {
        WindowFixture fx;
        fx.file("program/HAND-M.CUR", "not a cursor");
        Form1 &w = fx.loaded();
        const QStringList reports = fx.dialogs.errorReports();
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports[0].contains("at line 104\r\r"));
        w.show();
        hover(PushButton9(w));
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    }

    void dragPointerFromItsPicture()
    {
        WindowFixture fx;
        Form1 &w = fx.make();
        ListView1(w)->AppendRow("/a.odt");
        ListView1(w)->ListView1_ItemClick(ListView1(w)->topLevelItem(0));
        QCOMPARE(ListView1(w)->cursor().shape(), Qt::DragMoveCursor);

        QImage drag(32, 32, QImage::Format_ARGB32);
        drag.fill(Qt::green);
        QDir().mkpath(fx.dir.filePath("program"));
        QVERIFY(drag.save(fx.dir.filePath("program/drag.ico"), "ico"));
        w.setProgramFolder(fx.dir.filePath("program/"));
        ListView1(w)->ListView1_ItemClick(ListView1(w)->topLevelItem(0));
        QCOMPARE(ListView1(w)->cursor().shape(), Qt::BitmapCursor);
        ListView1(w)->ListView1_MouseUp();
        QCOMPARE(ListView1(w)->cursor().shape(), Qt::ArrowCursor);
    }

    void homePageOpensOnlyOnASeven()
    {
        for (int draw : {1, 6, 8, 100, 7}) {
            WindowFixture fx;
            fx.make().setHomePageDraw([draw] { return draw; });
            fx.window->Form_Load();
            QCOMPARE(fx.dialogs.openedUrls.size(), draw == 7 ? 1 : 0);
            if (draw == 7)
                QCOMPARE(fx.dialogs.openedUrls[0], QString("https://www.brantwell.example/"));
        }
    }
};

TARNWICK_TEST_MAIN(TestStartUp)
#include "test_start_up.moc"
