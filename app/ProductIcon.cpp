#include "app/ProductIcon.h"

#include <QPainter>
#include <QPainterPath>

QImage ProductIconImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0); // drawn on a 64-unit grid

    // The page, with its corner folded.
    QPainterPath page;
    page.moveTo(10, 4);
    page.lineTo(40, 4);
    page.lineTo(54, 18);
    page.lineTo(54, 60);
    page.lineTo(10, 60);
    page.closeSubpath();
    p.setPen(QPen(QColor(0x1f, 0x4e, 0x79), 2.5));
    p.setBrush(QColor(0xf7, 0xfa, 0xfd));
    p.drawPath(page);
    QPainterPath fold;
    fold.moveTo(40, 4);
    fold.lineTo(40, 18);
    fold.lineTo(54, 18);
    p.setBrush(QColor(0xc9, 0xdc, 0xee));
    p.drawPath(fold);

    // Lines of text.
    p.setPen(QPen(QColor(0x5b, 0x7d, 0x9c), 3, Qt::SolidLine, Qt::RoundCap));
    for (int y : {26, 34, 42})
        p.drawLine(QPointF(17, y), QPointF(y == 42 ? 34 : 47, y));

    // The "TXT" badge.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2e, 0x8b, 0x57));
    p.drawRoundedRect(QRectF(26, 44, 36, 18), 4, 4);
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    font.setBold(true);
    font.setPixelSize(12);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(26, 44, 36, 18), Qt::AlignCenter, QStringLiteral("TXT"));
    return image;
}

QIcon ProductIcon()
{
    QIcon icon;
    for (int size : {32, 48, 128, 256})
        icon.addPixmap(QPixmap::fromImage(ProductIconImage(size)));
    return icon;
}
