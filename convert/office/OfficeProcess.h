#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

// One running soffice.bin. It is started in a process group of its own, and is
// killed by the system when the thread that started it ends (parent-death
// signal), so it never outlives the program, even when the program is killed.
class OfficeProcess {
public:
    OfficeProcess();
    ~OfficeProcess();
    OfficeProcess(const OfficeProcess &) = delete;
    OfficeProcess &operator=(const OfficeProcess &) = delete;

    // Throws AppError when the program cannot be started.
    void start(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment);
    // Waits up to `milliseconds` for the process to end; true when it has ended.
    bool waitForExit(int milliseconds);
    bool isRunning();
    int exitCode() const;
    // 0 when not running.
    qint64 processId() const;
    // Ends the process and its group: politely first, then by force.
    void stop();

private:
    QProcess m_process;
};
