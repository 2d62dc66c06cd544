#include "input/UnreachedFolderWalk.h"

#include "input/DirectoryEntries.h"
#include "input/WalkExclusions.h"
#include "util/SystemError.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using FolderId = std::pair<dev_t, ino_t>;

constexpr int kOpenFolder = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// Opens a folder whose path may be longer than the system takes: the longest leading
// part that fits at once, the rest one name at a time without following links.
// -1 with errno set when it cannot.
int openFolder(QByteArray path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    if (path.size() < MaxPathBytes)
        return ::open(path.constData(), kOpenFolder);
    const qsizetype cut = path.lastIndexOf('/', MaxPathBytes - 1);
    if (cut < 0) {
        errno = ENAMETOOLONG;
        return -1;
    }
    FileDescriptor folder(::open(cut == 0 ? "/" : path.first(cut).constData(), kOpenFolder));
    for (const QByteArray &name : path.sliced(cut + 1).split('/')) {
        if (folder.get() < 0)
            return -1;
        if (!name.isEmpty())
            folder.reset(::openat(folder.get(), name.constData(), kOpenFolder | O_NOFOLLOW));
    }
    return folder.release();
}

std::optional<FolderId> idOf(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    return FolderId{info.st_dev, info.st_ino};
}

// The names of one folder: the files `wanted` takes and the folders to walk, each in
// name order.
struct Listing {
    std::vector<QByteArray> files;
    std::vector<QByteArray> folders;
};

void sortByName(std::vector<QByteArray> &names)
{
    std::vector<std::pair<QString, QByteArray>> keyed;
    keyed.reserve(names.size());
    for (QByteArray &name : names)
        keyed.emplace_back(QFile::decodeName(name), std::move(name));
    std::sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) {
        if (a.first != b.first)
            return ComesBeforeInListing(a.first, b.first);
        return a.second < b.second; // names that differ only in bytes that are not UTF-8
    });
    names.clear();
    for (auto &[key, name] : keyed)
        names.push_back(std::move(name));
}

// Lists the folder open at `fd`; errno when it cannot.
std::optional<Listing> listFolder(int fd, const std::function<bool(QByteArrayView)> &wanted)
{
    const int own = ::dup(fd);
    DIR *dir = own < 0 ? nullptr : ::fdopendir(own);
    if (!dir) {
        const int error = errno;
        if (own >= 0)
            ::close(own);
        errno = error;
        return std::nullopt;
    }
    Listing listing;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry)
            break;
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        unsigned char type = entry->d_type;
        struct stat info {};
        if (type == DT_UNKNOWN) {
            if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue; // gone since readdir saw it
            type = S_ISDIR(info.st_mode)   ? DT_DIR
                   : S_ISREG(info.st_mode) ? DT_REG
                   : S_ISLNK(info.st_mode) ? DT_LNK
                                           : DT_UNKNOWN;
        }
        if (type == DT_DIR) {
            if (!IsVolumeTrashName(QFile::decodeName(name)))
                listing.folders.emplace_back(name);
        } else if ((type == DT_REG || type == DT_LNK) && wanted(QByteArrayView(name))) {
            if (type == DT_REG || (::fstatat(fd, name, &info, 0) == 0 && S_ISREG(info.st_mode)))
                listing.files.emplace_back(name);
        }
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0) {
        errno = error;
        return std::nullopt;
    }
    sortByName(listing.files);
    sortByName(listing.folders);
    return listing;
}

// One folder on the way down: how long its path is and which of its sub-folders are
// still to walk (the next one last).
struct Level {
    qsizetype pathSize;
    FolderId id;
    std::vector<QByteArray> folders;
};

} // namespace

void WalkUnreachedFolder(const QByteArray &folder, const std::function<bool(QByteArrayView name)> &wanted,
                         const UnreachedSink &unreached, const WalkStopped &stopped)
{
    QByteArray path = folder.endsWith('/') ? folder : folder + '/';
    std::vector<Level> levels;
    std::set<FolderId> onTheWay;
    FileDescriptor current(openFolder(path));
    const std::optional<FolderId> top = current.get() < 0 ? std::nullopt : idOf(current.get());
    if (!top) {
        if (errno != ENOENT)
            unreached({path, SystemErrorText(errno)});
        return;
    }

    // Lists the folder open in `current`, whose path is `path`, as the deepest level.
    const auto enter = [&](const FolderId &id) {
        Level level{path.size(), id, {}};
        if (const std::optional<Listing> listing = listFolder(current.get(), wanted)) {
            for (const QByteArray &name : listing->files)
                unreached({path + name, QString()});
            level.folders.assign(listing->folders.rbegin(), listing->folders.rend());
        } else {
            unreached({path, SystemErrorText(errno)});
        }
        onTheWay.insert(id);
        levels.push_back(std::move(level));
    };

    enter(*top);
    while (!levels.empty() && !(stopped && stopped())) {
        Level &level = levels.back();
        if (level.folders.empty()) {
            onTheWay.erase(level.id);
            levels.pop_back();
            if (levels.empty())
                break;
            path.truncate(levels.back().pathSize);
            current.reset(::openat(current.get(), "..", kOpenFolder));
            if (current.get() < 0 || idOf(current.get()) != levels.back().id) {
                // The tree moved while it was walked: what is left is named by folder.
                for (const Level &left : levels) {
                    for (const QByteArray &name : left.folders)
                        unreached(
                            {path.left(left.pathSize) + name + '/', QStringLiteral("it moved while it was walked")});
                }
                return;
            }
            continue;
        }
        const QByteArray name = std::move(level.folders.back());
        level.folders.pop_back();
        FileDescriptor child(::openat(current.get(), name.constData(), kOpenFolder | O_NOFOLLOW));
        if (child.get() < 0) {
            // Gone, or no longer a folder (a link, say): passed over as the walk would.
            if (errno != ENOENT && errno != ENOTDIR && errno != ELOOP)
                unreached({path + name + '/', SystemErrorText(errno)});
            continue;
        }
        const std::optional<FolderId> id = idOf(child.get());
        if (!id || onTheWay.count(*id) != 0)
            continue; // a folder that holds itself
        current.reset(child.release());
        path += name + '/';
        enter(*id);
    }
}
