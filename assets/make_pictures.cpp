// Draws the program's pictures at build time: the hand pointer (HAND-M.CUR), the
// pointer shown while a row is moved (drag.ico) and the product icon in the sizes
// the desktop uses. Usage: make_pictures <output folder>
#include "app/ProductIcon.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

// A pointing hand, fingertip at (10, 1) of a 32-pixel picture.
QImage handPicture()
{
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath hand;
    hand.addRoundedRect(QRectF(8, 1, 5, 16), 2.5, 2.5);   // index finger
    hand.addRoundedRect(QRectF(13, 9, 4.5, 9), 2.2, 2.2); // middle
    hand.addRoundedRect(QRectF(17.5, 10, 4.5, 9), 2.2, 2.2);
    hand.addRoundedRect(QRectF(22, 11.5, 4, 8), 2, 2);
    hand.addRoundedRect(QRectF(8, 14, 18, 13), 4, 4);    // palm
    QPainterPath thumb;
    thumb.moveTo(8.5, 18);
    thumb.lineTo(4, 14.5);
    thumb.quadTo(1.5, 14, 2.5, 17);
    thumb.lineTo(8.5, 25);
    hand = hand.united(thumb).simplified();
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(Qt::white);
    p.drawPath(hand);
    p.drawRect(QRectF(9.5, 27, 15, 4)); // cuff
    return image;
}

// Two stacked lines of a list with an up-and-down arrow: "this row moves".
QImage dragPicture()
{
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(0xe8, 0xf0, 0xfa));
    p.drawRect(QRectF(1.5, 9.5, 18, 6));
    p.setBrush(QColor(0x3d, 0x7e, 0xc4));
    p.drawRect(QRectF(1.5, 16.5, 18, 6));
    QPainterPath arrow;
    arrow.moveTo(26, 2);
    arrow.lineTo(31, 9);
    arrow.lineTo(28, 9);
    arrow.lineTo(28, 23);
    arrow.lineTo(31, 23);
    arrow.lineTo(26, 30);
    arrow.lineTo(21, 23);
    arrow.lineTo(24, 23);
    arrow.lineTo(24, 9);
    arrow.lineTo(21, 9);
    arrow.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(arrow);
    return image;
}

// Qt writes a cursor file as an icon: mark it as a cursor (type 2) and put the hot spot
// in the directory entry's bytes 4..7 (x, y), little-endian.
bool setCursorHotSpot(const QString &file, quint16 x, quint16 y)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = f.readAll();
    if (bytes.size() < 22)
        return false;
    bytes[2] = 2;
    bytes[6 + 4] = char(x & 0xff);
    bytes[6 + 5] = char(x >> 8);
    bytes[6 + 6] = char(y & 0xff);
    bytes[6 + 7] = char(y >> 8);
    f.seek(0);
    return f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_pictures <output folder>\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out + QStringLiteral("/icons"));
    bool ok = handPicture().save(out + QStringLiteral("/HAND-M.CUR"), "cur")
              && setCursorHotSpot(out + QStringLiteral("/HAND-M.CUR"), 10, 1)
              && dragPicture().save(out + QStringLiteral("/drag.ico"), "ico");
    for (int size : {32, 48, 128, 256})
        ok = ok && ProductIconImage(size).save(out + QStringLiteral("/icons/tarnwick-%1.png").arg(size), "png");
    if (!ok) {
        std::fprintf(stderr, "make_pictures: could not write the pictures to %s\n", argv[1]);
        return 1;
    }
    return 0;
}
