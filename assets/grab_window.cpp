// Waits for a top-level window with the given title on the X display, saves a picture
// of it, and fails when the window never shows or shows nothing but one colour.
// Usage: grab_window <title> <output.png> [seconds to wait]
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QThread>
#include <cstdio>

namespace {

// The window's frame on the screen, from xwininfo; empty when it is not mapped.
QRect windowGeometry(const QString &title)
{
    QProcess xwininfo;
    xwininfo.start(QStringLiteral("xwininfo"), {QStringLiteral("-name"), title});
    if (!xwininfo.waitForFinished(5000) || xwininfo.exitCode() != 0)
        return {};
    const QString info = QString::fromLocal8Bit(xwininfo.readAllStandardOutput());
    if (!info.contains(QLatin1String("IsViewable")))
        return {};
    auto number = [&](const char *label) {
        const QRegularExpression re(QLatin1String(label) + QStringLiteral(":\\s+(-?\\d+)"));
        return re.match(info).captured(1).toInt();
    };
    return QRect(number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"),
                 number("Height"));
}

int distinctColours(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            colours.insert(image.pixel(x, y));
    return colours.size();
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: grab_window <title> <output.png> [seconds]\n");
        return 2;
    }
    const QString title = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 60;

    QElapsedTimer clock;
    clock.start();
    QRect geometry;
    while ((geometry = windowGeometry(title)).isEmpty()) {
        if (clock.elapsed() > seconds * 1000) {
            std::fprintf(stderr, "grab_window: no window titled %s after %d s\n", argv[1], seconds);
            return 1;
        }
        QThread::msleep(250);
    }
    QThread::msleep(1000); // let it paint
    const QImage image = QGuiApplication::primaryScreen()
                             ->grabWindow(0, geometry.x(), geometry.y(), geometry.width(), geometry.height())
                             .toImage();
    if (!image.save(output)) {
        std::fprintf(stderr, "grab_window: cannot write %s\n", argv[2]);
        return 1;
    }
    const int colours = distinctColours(image);
    std::printf("window %dx%d at %d,%d, %d colours\n", geometry.width(), geometry.height(), geometry.x(),
                geometry.y(), colours);
    return colours >= 8 ? 0 : 1;
}
