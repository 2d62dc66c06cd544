#pragma once

#include <QString>
#include <set>
#include <sys/types.h>
#include <vector>
#include <utility>

// Folders a walk never enters, as it never enters system folders: the desktop Trash
// (the user's own, and .Trash / .Trash-<uid> at the top of other volumes), which
// holds deleted documents, and the program's own cache folder. A folder chosen or
// dropped by the user is walked all the same; these rules apply below it.
class WalkExclusions {
public:
    // Looks up the user's Trash and the cache folder once, for one walk.
    WalkExclusions();

    // True when the sub-folder `name` of `folder` (which ends in a separator) is left
    // out. Costs a stat only for a name that one of the excluded folders has.
    bool excludes(const QString &folder, const QString &name) const;

private:
    struct Excluded {
        QString name;
        std::pair<dev_t, ino_t> id;
    };
    std::vector<Excluded> m_folders;
};

// .Trash and .Trash-<uid>: the Trash folders that the desktop keeps at the top of
// every other volume.
bool IsVolumeTrashName(const QString &name);
