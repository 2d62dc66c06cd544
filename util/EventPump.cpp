#include "util/EventPump.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

void YieldToEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void Pause(double seconds)
{
    if (!(seconds > 0))
        return;
    const qint64 total = static_cast<qint64>(seconds * 1000.0);
    QElapsedTimer clock;
    clock.start();
    qint64 remaining = total - clock.elapsed();
    while (remaining > 0) {
        QEventLoop loop;
        QTimer::singleShot(std::chrono::milliseconds(remaining), Qt::PreciseTimer, &loop,
                           &QEventLoop::quit);
        loop.exec();
        remaining = total - clock.elapsed();
    }
}
