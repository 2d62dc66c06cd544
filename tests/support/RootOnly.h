#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTest>
#include <sys/mount.h>
#include <unistd.h>

// What only root may do: give files to another user, mount a file system, run as
// another user. A test that needs it is skipped, saying what for, when it does not
// run as root (CI runs the suite as root).
#define SKIP_UNLESS_ROOT(what)                                                                                     \
    do {                                                                                                           \
        if (::geteuid() != 0)                                                                                      \
            QSKIP("needs root, " what);                                                                            \
    } while (false)

// A small tmpfs mounted on `folder` (made if need be) while the object lives, to
// fill; `options` as mount -o takes them ("size=4k"). Root only; a machine that
// refuses the mount even to root has `mounted()` false.
class SmallDisk {
public:
    SmallDisk(const QString &folder, const QByteArray &options) : m_folder(QFile::encodeName(folder))
    {
        QDir().mkpath(folder);
        m_mounted = ::mount("tarnwick-test", m_folder.constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool mounted() const { return m_mounted; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};
