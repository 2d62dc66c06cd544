#include "batch/UpToDate.h"

#include <QFile>

#include <sys/stat.h>

namespace {

bool notBefore(const timespec &a, const timespec &b)
{
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec >= b.tv_nsec;
}

} // namespace

bool TextFileIsUpToDate(const BatchDocument &document)
{
    struct stat source {};
    struct stat text {};
    if (::stat(QFile::encodeName(document.source).constData(), &source) != 0
        || ::lstat(QFile::encodeName(document.target).constData(), &text) != 0 || !S_ISREG(text.st_mode))
        return false;
    return notBefore(text.st_mtim, source.st_mtim);
}

QList<BatchDocument> TakeUpToDate(QList<BatchDocument> &documents)
{
    QList<BatchDocument> upToDate;
    QList<BatchDocument> rest;
    for (BatchDocument &document : documents)
        (TextFileIsUpToDate(document) ? upToDate : rest).append(std::move(document));
    documents = std::move(rest);
    return upToDate;
}
