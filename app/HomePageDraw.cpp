#include "app/HomePageDraw.h"

#include "core/ProductConfig.h"

#include <QTime>
#include <random>

int DrawFromTimeOfDay()
{
    std::mt19937 generator(static_cast<unsigned>(QTime::currentTime().msecsSinceStartOfDay()));
    std::uniform_int_distribution<int> draw(1, 100);
    return draw(generator);
}

void MaybeOpenHomePage(Dialogs &dialogs, const std::function<int()> &draw)
{
    if (draw() == 7)
        dialogs.openUrl(QLatin1String(ProductConfig::HomePage));
}
