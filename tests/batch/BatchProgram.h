#pragma once

// `tarnwick --convert` as a user runs it: the built program, the real office, no
// display, a home of its own. What the tests of the batch share: running the
// program and reading what it wrote.
#include "support/ProgramEnvironment.h"
#include "support/TestFiles.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <functional>

struct Outcome {
    int exitCode = -1;
    QString errors;    // stderr
    QByteArray output; // stdout
};

// A text file's words, without the office's byte-order mark and final line break.
inline QString documentText(const QString &path)
{
    return readText(path).remove(QChar(0xFEFF)).trimmed();
}

// The lines of a --report file, each parsed; a line that is not whole JSON fails.
inline QList<QJsonObject> reportLines(const QString &file)
{
    QList<QJsonObject> lines;
    for (const QByteArray &line : readBytes(file).split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !document.isObject())
            qFatal("not a JSON object: %s", line.constData());
        lines << document.object();
    }
    return lines;
}

// The summary of a report file: its last line's, or nothing when it has none.
inline QJsonObject reportSummary(const QString &file)
{
    const QList<QJsonObject> lines = reportLines(file);
    return lines.isEmpty() ? QJsonObject() : lines.last()[QStringLiteral("summary")].toObject();
}

// The report's lines of documents, by their source paths.
inline QHash<QString, QJsonObject> bySource(const QList<QJsonObject> &lines)
{
    QHash<QString, QJsonObject> found;
    for (const QJsonObject &line : lines) {
        if (line.contains(QStringLiteral("source")))
            found.insert(line[QStringLiteral("source")].toString(), line);
    }
    return found;
}

// True once the process has a handler for `signal` (its SigCgt in /proc).
inline bool catchesSignal(qint64 pid, int signal)
{
    const QByteArray status = readBytes(QStringLiteral("/proc/%1/status").arg(pid));
    const qsizetype line = status.indexOf("\nSigCgt:");
    if (line < 0)
        return false;
    const qsizetype start = line + int(sizeof "\nSigCgt:") - 1;
    const quint64 caught = status.mid(start, status.indexOf('\n', start) - start).trimmed().toULongLong(nullptr, 16);
    return (caught >> (signal - 1)) & 1;
}

inline QDateTime modified(const QString &path)
{
    return QFileInfo(path).fileTime(QFileDevice::FileModificationTime);
}

// The base of a test class of the batch: a temporary folder, the program's
// environment (its home in that folder), and ways to run the program.
class BatchProgramTest : public QObject {
protected:
    QTemporaryDir m_dir;
    QProcessEnvironment m_environment = HeadlessProgramEnvironment(m_dir.filePath(QStringLiteral("home")));

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

    // Runs `tarnwick --convert arguments` to its end; `watch` is called every 20 ms
    // with its pid.
    Outcome run(const QStringList &arguments, const std::function<void(qint64)> &watch = {},
                const QProcessEnvironment &environment = {})
    {
        return runProgram(QStringList{QStringLiteral("--convert")} + arguments, watch, environment);
    }

    Outcome runProgram(const QStringList &arguments, const std::function<void(qint64)> &watch = {},
                       const QProcessEnvironment &environment = {}, const QByteArray &input = {})
    {
        QProcess program;
        program.setProcessEnvironment(environment.isEmpty() ? m_environment : environment);
        program.start(QStringLiteral(TARNWICK_BINARY), arguments);
        if (!program.waitForStarted())
            return {};
        program.write(input);
        program.closeWriteChannel();
        QByteArray output;
        while (!program.waitForFinished(20)) {
            output += program.readAllStandardOutput();
            if (watch)
                watch(program.processId());
        }
        return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
                QString::fromUtf8(program.readAllStandardError()), output + program.readAllStandardOutput()};
    }

    // `script` run by sh with the program as $0 and `arguments` as $1...: for what
    // QProcess cannot set up (closed descriptors, bytes that are not UTF-8).
    Outcome runShell(const QString &script, const QStringList &arguments = {})
    {
        QProcess shell;
        shell.setProcessEnvironment(m_environment);
        shell.start(QStringLiteral("sh"), QStringList{"-c", script, TARNWICK_BINARY} + arguments);
        shell.waitForFinished(-1);
        return {shell.exitCode(), QString::fromUtf8(shell.readAllStandardError()), shell.readAllStandardOutput()};
    }

    // Runs the program on `arguments` and sends it `signal` once it catches it and
    // `ready` (asked every 20 ms; by default once it has run for 300 ms, however
    // loaded the machine). A program that does not act on it is left running and
    // fails the exit status.
    Outcome stopWhen(const QStringList &arguments, int signal, QProcess &program, std::function<bool()> ready = {})
    {
        program.setProcessEnvironment(m_environment);
        program.start(QStringLiteral(TARNWICK_BINARY), QStringList{"--convert"} + arguments);
        if (!ready)
            ready = [&] { return !program.waitForFinished(300); };
        while (program.state() != QProcess::NotRunning && !(catchesSignal(program.processId(), signal) && ready()))
            program.waitForFinished(20);
        ::kill(static_cast<pid_t>(program.processId()), signal);
        const bool ended = program.waitForFinished(30000);
        return {ended ? program.exitCode() : -1, QString::fromUtf8(program.readAllStandardError()), {}};
    }
};
