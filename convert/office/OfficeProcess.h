#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

// One running soffice.bin (or the sandbox it runs in). It is started in a process
// group of its own, and is killed by the system when the thread that started it
// ends (parent-death signal), so it never outlives the program, even when the
// program is killed. It dumps no core (which would hold the document) and its
// address space and files have bounds.
class OfficeProcess {
public:
    OfficeProcess();
    ~OfficeProcess();
    OfficeProcess(const OfficeProcess &) = delete;
    OfficeProcess &operator=(const OfficeProcess &) = delete;

    // Throws AppError when the program cannot be started. `inherited` descriptors
    // stay open in it, read from their start (see KeepForChild).
    void start(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
               const QList<int> &inherited = {});
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
