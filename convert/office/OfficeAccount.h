#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The office names and guards its pipes by the user's entry in the user database.
// For a user id without one (a container's `--user N`, systemd's DynamicUser) it
// makes its single-instance pipe in /tmp open to every user, and whoever connects
// there can have the office open a connection of theirs and run commands as this
// user. Such an id is lent an entry, for the office alone, through nss_wrapper; where
// that library is missing the office is not started.

// True when this process's user id has an entry in the user database.
bool HasUserAccount();

// The folders searched for libnss_wrapper.so: the C library's, then the usual ones.
QStringList defaultAccountWrapperSearchPath();

// How the office gets an account.
class OfficeAccount {
public:
    // Throws RefusalError, saying what the user can do, when the user id has no
    // account and nss_wrapper is not in `wrapperSearchPath`.
    static OfficeAccount require(const QStringList &wrapperSearchPath);

    // `environment` unchanged for a user id with an account. For one without, an
    // entry for it is written to passwd and group files in `privateFolder`, and
    // the environment makes the office read them. Throws AppError when they cannot
    // be written.
    QProcessEnvironment apply(QProcessEnvironment environment, const QString &privateFolder) const;

private:
    QString m_wrapper; // empty: the user id has an account of its own
};
