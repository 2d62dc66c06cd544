#include "app/ApplicationTitle.h"

QString ApplicationTitleOf(const QString &productName)
{
    QString title = productName;
    do {
        const qsizetype blank = title.lastIndexOf(QLatin1Char(' '));
        if (blank < 0)
            break;
        title = title.left(blank);
    } while (title.size() > 40);
    return title;
}
