#include "convert/office/OfficeThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <optional>

namespace {

bool onMainThread()
{
    const QCoreApplication *application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

// What the two sides of one run() share; it lives until both are through with it.
struct Completion {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::exception_ptr error;
    QEventLoop *loop = nullptr; // the caller's, while it waits in it
};

} // namespace

OfficeThread::OfficeThread() : m_receiver(std::make_unique<QObject>())
{
    m_thread.setObjectName(QStringLiteral("office"));
    m_receiver->moveToThread(&m_thread);
    m_thread.start();
}

OfficeThread::~OfficeThread()
{
    post([this] { m_thread.quit(); }); // after everything queued before it
    m_thread.wait();
}

void OfficeThread::post(std::function<void()> task)
{
    QMetaObject::invokeMethod(
        m_receiver.get(),
        [task = std::move(task)] {
            try {
                task();
            } catch (...) {
                // Only run()'s tasks have a caller to tell, and they catch everything.
                qWarning("A task of the office thread failed.");
            }
        },
        Qt::QueuedConnection);
}

void OfficeThread::run(const std::function<void()> &task, Waiting waiting)
{
    if (isCurrent()) {
        task();
        return;
    }
    ++m_calls;
    auto completion = std::make_shared<Completion>();
    std::optional<QEventLoop> loop;
    if (waiting == Waiting::HandlingEvents && onMainThread()) {
        loop.emplace();
        completion->loop = &*loop;
    }
    post([this, task, completion] {
        try {
            task();
        } catch (...) {
            completion->error = std::current_exception();
        }
        --m_calls;
        // Under the lock: the caller's loop cannot be gone while it is woken.
        const std::lock_guard lock(completion->mutex);
        completion->done = true;
        if (completion->loop)
            QMetaObject::invokeMethod(completion->loop, &QEventLoop::quit, Qt::QueuedConnection);
        completion->finished.notify_all();
    });
    if (loop) {
        // Anything that ends every event loop (QCoreApplication::quit) ends this one
        // too, before the office has answered: keep waiting.
        for (;;) {
            loop->exec();
            const std::lock_guard lock(completion->mutex);
            if (completion->done) {
                completion->loop = nullptr;
                break;
            }
        }
    } else {
        std::unique_lock lock(completion->mutex);
        completion->finished.wait(lock, [&] { return completion->done; });
    }
    if (completion->error)
        std::rethrow_exception(completion->error);
}
