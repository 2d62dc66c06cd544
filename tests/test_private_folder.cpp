// The program's own folders: private whatever the umask, refused when someone could
// have changed them, and emptied without ever reaching through a link.
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "util/AppError.h"
#include "util/PrivateFolder.h"

#include <QTemporaryDir>
#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t modeOf(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// The refusal's text, or "<none>".
QString refusalOf(const std::function<void()> &use)
{
    try {
        use();
    } catch (const RefusalError &refusal) {
        return refusal.description();
    }
    return QStringLiteral("<none>");
}

} // namespace

class TestPrivateFolder : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

private slots:
    void madePrivateWhateverTheUmask()
    {
        const mode_t umask = ::umask(0);
        MakePrivateFolder(path("cache/tarnwick/profile"));
        ::umask(umask);
        for (const char *made : {"cache", "cache/tarnwick", "cache/tarnwick/profile"})
            QCOMPARE(modeOf(path(made)), mode_t(0700));
        MakePrivateFolder(path("cache/tarnwick/profile")); // there already: checked only
    }

    // What another user may have done to a folder of the program's: each is refused
    // by every use, and nothing the folder leads to is touched.
    void unsafeFoldersAreRefusedAndLeftAlone()
    {
        const QString documents = path("victim/Documents");
        writeFile(documents + "/letter.odt");
        QVERIFY(QFile::setPermissions(documents, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                     | QFile::ReadOther | QFile::ExeOther));
        QVERIFY(QFile::link(documents, path("linked")));
        QDir().mkpath(path("shared"));
        ::chmod(QFile::encodeName(path("shared")).constData(), 01777);
        QList<std::pair<QString, QString>> unsafe{{path("linked"), "is a link"},
                                                  {path("shared"), "Others may write in"}};
        if (::geteuid() == 0) {
            MakePrivateFolder(path("theirs"));
            QCOMPARE(::chown(QFile::encodeName(path("theirs")).constData(), 65534, 65534), 0);
            unsafe.append({path("theirs"), "belongs to another user (user id 65534)"});
        } else {
            qInfo("not root: a folder of another user's is not tried");
        }
        for (const auto &[folder, reason] : unsafe) {
            for (const auto &use : QList<std::function<void()>>{[&] { MakePrivateFolder(folder); },
                                                                [&] { CheckPrivateFolder(folder); },
                                                                [&] { EmptyPrivateFolder(folder); },
                                                                [&] { RemovePrivateFolder(folder); }}) {
                const QString refusal = refusalOf(use);
                QVERIFY2(refusal.contains(folder + ' ' + reason) || refusal.contains(reason + ' ' + folder),
                         qPrintable(refusal));
            }
        }
        QCOMPARE(QDir(documents).entryList(QDir::Files), QStringList{"letter.odt"});
        QCOMPARE(modeOf(documents), mode_t(0705));
        QCOMPARE(modeOf(path("shared")), mode_t(01777));
    }

    void emptyingRemovesLinksNotWhatTheyLeadTo()
    {
        const QString outside = path("outside");
        writeFile(outside + "/keep.txt", "kept");
        const QString folder = path("temp");
        MakePrivateFolder(folder);
        writeFile(folder + "/lu1.tmp/copy.odt");
        writeFile(folder + "/lu1.tmp/deeper/more.odt");
        QVERIFY(QFile::link(outside, folder + "/lu1.tmp/to-folder"));
        QVERIFY(QFile::link(outside + "/keep.txt", folder + "/to-file"));
        writeFile(folder + "/read-only/inside");
        QVERIFY(QFile::setPermissions(folder + "/read-only", QFile::ReadOwner | QFile::ExeOwner));

        EmptyPrivateFolder(folder);
        QVERIFY(QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
        QCOMPARE(modeOf(folder), mode_t(0700));
        QCOMPARE(readBytes(outside + "/keep.txt"), QByteArray("kept"));

        RemovePrivateFolder(folder);
        QVERIFY(!QFileInfo::exists(folder));
        RemovePrivateFolder(folder); // gone already: nothing to do
    }
};

TARNWICK_TEST_MAIN(TestPrivateFolder)
#include "test_private_folder.moc"
