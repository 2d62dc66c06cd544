#include "convert/office/OfficeAccount.h"

#include "util/AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <dlfcn.h>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr auto kWrapperLibrary = "libnss_wrapper.so";

void writePrivateFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate, QFile::ReadOwner | QFile::WriteOwner)
        || file.write(content) != content.size() || !file.flush()) {
        throw AppError(QStringLiteral("The office's account file %1 could not be written: %2")
                           .arg(path, file.errorString()));
    }
}

} // namespace

bool HasUserAccount()
{
    std::vector<char> buffer(4096);
    for (;;) {
        passwd entry {};
        passwd *found = nullptr;
        const int error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 4);
            continue;
        }
        return error == 0 && found != nullptr;
    }
}

QStringList defaultAccountWrapperSearchPath()
{
    QStringList folders;
    Dl_info library {};
    if (::dladdr(reinterpret_cast<void *>(&::getpwuid_r), &library) != 0 && library.dli_fname) {
        const QString folder = QFileInfo(QFile::decodeName(library.dli_fname)).absolutePath();
        folders << folder;
        if (!folder.startsWith(QLatin1String("/usr/")))
            folders << QStringLiteral("/usr") + folder;
    }
    folders << QStringLiteral("/usr/lib64") << QStringLiteral("/usr/lib");
    folders.removeDuplicates();
    return folders;
}

OfficeAccount OfficeAccount::require(const QStringList &wrapperSearchPath)
{
    OfficeAccount account;
    if (HasUserAccount())
        return account;
    for (const QString &folder : wrapperSearchPath) {
        const QString library = QDir(folder).filePath(QLatin1String(kWrapperLibrary));
        if (QFileInfo(library).isFile()) {
            account.m_wrapper = library;
            return account;
        }
    }
    throw RefusalError(
        QStringLiteral("The user id %1 has no entry in the user database, and for such an id LibreOffice "
                       "lets every user of this computer connect to it, so it was not started. Give the id an "
                       "account (a line in /etc/passwd; in a container, run as a user the image knows), or "
                       "install nss_wrapper (the libnss-wrapper package), with which the office gets one of "
                       "its own.")
            .arg(::getuid()));
}

QProcessEnvironment OfficeAccount::apply(QProcessEnvironment environment, const QString &privateFolder) const
{
    if (m_wrapper.isEmpty())
        return environment;
    const QByteArray uid = QByteArray::number(::getuid());
    const QByteArray gid = QByteArray::number(::getgid());
    const QString passwd = QDir(privateFolder).filePath(QStringLiteral("passwd"));
    const QString group = QDir(privateFolder).filePath(QStringLiteral("group"));
    writePrivateFile(passwd, "user" + uid + ":x:" + uid + ':' + gid + "::" + QFile::encodeName(QDir::homePath())
                                 + ":/bin/sh\n");
    writePrivateFile(group, "group" + gid + ":x:" + gid + ":\n");
    const QString preload = environment.value(QStringLiteral("LD_PRELOAD"));
    environment.insert(QStringLiteral("LD_PRELOAD"),
                       preload.isEmpty() ? m_wrapper : m_wrapper + QLatin1Char(':') + preload);
    environment.insert(QStringLiteral("NSS_WRAPPER_PASSWD"), passwd);
    environment.insert(QStringLiteral("NSS_WRAPPER_GROUP"), group);
    return environment;
}
