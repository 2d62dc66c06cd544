#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// A folder tree on disk for one test. Paths are given relative to the root with "/".
class TempTree {
public:
    TempTree() { QVERIFY(m_dir.isValid()); }

    // The root, without a trailing separator.
    QString root() const { return m_dir.path(); }
    QString path(const QString &relative) const { return root() + QLatin1Char('/') + relative; }

    void folder(const QString &relative) const { QVERIFY(QDir().mkpath(path(relative))); }

    void file(const QString &relative) const
    {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile out(path(relative));
        QVERIFY2(out.open(QIODevice::WriteOnly), qPrintable(path(relative)));
        out.write("text");
    }

    // The paths with the root written as "R", for short expected lists.
    QStringList relative(const QStringList &paths) const
    {
        QStringList out;
        for (const QString &path : paths)
            out << (path.startsWith(root()) ? QLatin1String("R") + path.mid(root().size()) : path);
        return out;
    }

private:
    QTemporaryDir m_dir;
};
