#pragma once

#include <QString>
#include <stdexcept>

// The one error type that a numbered step can fail with. Its description is what
// the error report shows to the user, so it must read well on its own.
class AppError : public std::runtime_error {
public:
    explicit AppError(const QString &description)
        : std::runtime_error(description.toStdString()), m_description(description) {}

    const QString &description() const { return m_description; }

    // Names `to` wherever the description names `from`: for a caller that knows a
    // file by another name than the call that failed was given.
    void replaceName(const QString &from, const QString &to) { m_description.replace(from, to); }

private:
    QString m_description;
};

// A text that could not be stored where it goes, through no fault of its document:
// a full disk, a write or a rename the system refused.
class TextNotStored : public AppError {
public:
    TextNotStored(const QString &description, bool diskFull) : AppError(description), m_diskFull(diskFull) {}
    bool diskFull() const { return m_diskFull; }

private:
    bool m_diskFull;
};

// An error that stops the work because going on would put the user's files or
// office within another user's reach. Its description says what the user can do.
class RefusalError : public AppError {
public:
    using AppError::AppError;
    // "`fault`, so it was not used. `advice`": `fault` says what is wrong with `path`.
    RefusalError(const QString &path, const QString &fault, const QString &advice)
        : AppError(fault + QStringLiteral(", so it was not used. ") + advice), m_path(path), m_fault(fault)
    {
    }

    // What was refused, and why, in a few words ("X belongs to another user (user id
    // 1000)"); empty for a refusal given only as a description.
    const QString &path() const { return m_path; }
    const QString &fault() const { return m_fault; }

private:
    QString m_path;
    QString m_fault;
};
