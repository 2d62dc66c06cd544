#include "util/PartialFiles.h"

#include <QFile>

#include <algorithm>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace {

std::mutex listLock;

std::vector<QByteArray> &partialFiles()
{
    static std::vector<QByteArray> files;
    return files;
}

} // namespace

void RegisterPartialFile(const QString &path)
{
    const std::lock_guard lock(listLock);
    partialFiles().push_back(QFile::encodeName(path));
}

void ForgetPartialFile(const QString &path)
{
    const std::lock_guard lock(listLock);
    auto &files = partialFiles();
    const auto found = std::find(files.begin(), files.end(), QFile::encodeName(path));
    if (found != files.end())
        files.erase(found);
}

void RemovePartialFiles()
{
    const std::lock_guard lock(listLock);
    for (const QByteArray &file : partialFiles())
        ::unlink(file.constData());
    partialFiles().clear();
}
