#include "convert/office/OfficeConfinement.h"

#include "convert/office/SyscallFilter.h"
#include "util/AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Set (to anything) by tests that need an office that cannot be confined.
constexpr auto kUnavailableSwitch = "TARNWICK_TEST_NO_CONFINEMENT";
constexpr int kProbeTimeoutMs = 20000;

// What the office reads of /etc: the loader's, fonts', its own configuration,
// time zone, accounts and paper size. Nothing else of /etc is there (no keys,
// no other programs' settings).
const char *const kSystemConfiguration[] = {
    "/etc/ld.so.cache", "/etc/ld.so.conf", "/etc/ld.so.conf.d", "/etc/ld.so.preload", "/etc/localtime",
    "/etc/timezone", "/etc/nsswitch.conf", "/etc/passwd", "/etc/group", "/etc/fonts", "/etc/libreoffice",
    "/etc/alternatives", "/etc/papersize", "/etc/locale.alias", "/etc/mime.types", "/etc/java-17-openjdk",
    // Font caches, shared extensions, the processor count.
    "/var/cache/fontconfig", "/var/spool/libreoffice", "/sys/devices/system/cpu"};

// The merged /usr of current systems links these; older ones have folders.
const char *const kTopLevelSystemFolders[] = {"/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"};

QString bubblewrapPath()
{
    QStringList folders = qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    folders.prepend(QStringLiteral("/usr/bin"));
    for (const QString &folder : std::as_const(folders)) {
        if (!QDir::isAbsolutePath(folder))
            continue;
        const QFileInfo candidate(QDir(folder).filePath(QStringLiteral("bwrap")));
        if (candidate.isFile() && candidate.isExecutable())
            return candidate.absoluteFilePath();
    }
    return {};
}

QString environmentFolder(const char *variable, const QString &fallback)
{
    const QString value = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(value) ? value : fallback;
}

// The user's own fonts and font settings, which the layout (and so page numbers)
// depends on, read-only; the font cache too, or every start would scan the fonts.
QStringList userFontPlaces()
{
    const QString home = QDir::homePath();
    const QString data = environmentFolder("XDG_DATA_HOME", home + QStringLiteral("/.local/share"));
    const QString config = environmentFolder("XDG_CONFIG_HOME", home + QStringLiteral("/.config"));
    const QString cache = environmentFolder("XDG_CACHE_HOME", home + QStringLiteral("/.cache"));
    return {home + QStringLiteral("/.fonts"),          data + QStringLiteral("/fonts"),
            config + QStringLiteral("/fontconfig"),    home + QStringLiteral("/.fonts.conf"),
            home + QStringLiteral("/.fonts.conf.d"),   cache + QStringLiteral("/fontconfig"),
            home + QStringLiteral("/.fontconfig")};
}

// The folders above `path` up to the root, nearest last.
QStringList foldersAbove(const QString &path)
{
    QStringList above;
    QString folder = QFileInfo(QDir::cleanPath(path)).absolutePath();
    while (folder != QLatin1String("/") && !folder.isEmpty()) {
        above.prepend(folder);
        folder = QFileInfo(folder).absolutePath();
    }
    return above;
}

QStringList sandboxArguments(const ConfinedFolders &folders, int filterDescriptor)
{
    QStringList arguments = {
        QStringLiteral("--unshare-user"), QStringLiteral("--unshare-pid"), QStringLiteral("--unshare-net"),
        QStringLiteral("--unshare-ipc"), QStringLiteral("--unshare-uts"), QStringLiteral("--unshare-cgroup-try"),
        // Nor can the office make namespaces of its own, or keep a capability.
        QStringLiteral("--disable-userns"), QStringLiteral("--cap-drop"), QStringLiteral("ALL"),
        QStringLiteral("--die-with-parent"), QStringLiteral("--ro-bind"), QStringLiteral("/usr"),
        QStringLiteral("/usr")};
    for (const char *name : kTopLevelSystemFolders) {
        const QFileInfo folder{QString::fromLatin1(name)};
        if (folder.isSymLink())
            arguments << QStringLiteral("--symlink") << folder.symLinkTarget() << folder.filePath();
        else if (folder.isDir())
            arguments << QStringLiteral("--ro-bind") << folder.filePath() << folder.filePath();
    }
    arguments << QStringLiteral("--proc") << QStringLiteral("/proc") << QStringLiteral("--dev") << QStringLiteral("/dev")
              << QStringLiteral("--tmpfs") << QStringLiteral("/dev/shm");
    // The office makes its single-instance pipe in /tmp: a /tmp of its own.
    arguments << QStringLiteral("--tmpfs") << QStringLiteral("/tmp");
    for (const char *place : kSystemConfiguration)
        arguments << QStringLiteral("--ro-bind-try") << QLatin1String(place) << QLatin1String(place);
    if (!folders.officeRoot.isEmpty() && !folders.officeRoot.startsWith(QLatin1String("/usr/")))
        arguments << QStringLiteral("--ro-bind") << folders.officeRoot << folders.officeRoot;

    QStringList fonts = userFontPlaces();
    fonts.removeIf([](const QString &place) { return !QFileInfo::exists(place); });
    // The folders that hold what is bound from the home are made beforehand,
    // enterable but not listable: what else the home holds is not there, and
    // not even its names show.
    const QString home = QDir::cleanPath(QDir::homePath());
    QStringList above;
    for (const QString &place : fonts + folders.writable)
        for (const QString &folder : foldersAbove(place))
            if ((folder == home || folder.startsWith(home + QLatin1Char('/'))) && !above.contains(folder))
                above << folder;
    std::sort(above.begin(), above.end(), [](const QString &a, const QString &b) { return a.size() < b.size(); });
    for (const QString &folder : std::as_const(above))
        arguments << QStringLiteral("--perms") << QStringLiteral("0111") << QStringLiteral("--dir") << folder;
    for (const QString &place : std::as_const(fonts))
        arguments << QStringLiteral("--ro-bind") << place << place;
    for (const QString &place : folders.writable)
        arguments << QStringLiteral("--bind") << place << place;
    if (!folders.workingFolder.isEmpty()) {
        arguments << QStringLiteral("--chdir") << folders.workingFolder;
        // Where dconf (read by the office's configuration) makes its folder, which
        // would otherwise be one in the home it cannot write.
        arguments << QStringLiteral("--setenv") << QStringLiteral("XDG_RUNTIME_DIR") << folders.workingFolder;
    }
    arguments << QStringLiteral("--seccomp") << QString::number(filterDescriptor);
    return arguments;
}

FileDescriptor memoryFile(const char *name, const QByteArray &content)
{
    FileDescriptor file(::memfd_create(name, MFD_CLOEXEC));
    if (file.get() < 0 || ::write(file.get(), content.constData(), size_t(content.size())) != content.size())
        throw AppError(QStringLiteral("The office's sandbox could not be prepared: %1").arg(SystemErrorText(errno)));
    return file;
}

ConfinementHere findOut()
{
    if (bubblewrapPath().isEmpty())
        return {false, QStringLiteral("bubblewrap (bwrap) is not installed")};
    try {
        const OfficeJail jail(ConfinedFolders{});
        QProcess probe;
        probe.setProcessChannelMode(QProcess::MergedChannels);
        const QList<int> descriptors = jail.inheritedDescriptors();
        probe.setChildProcessModifier([descriptors] { KeepForChild(descriptors); });
        probe.start(jail.program(), jail.arguments(QStringLiteral("/usr/bin/true"), {}));
        if (!probe.waitForFinished(kProbeTimeoutMs)) {
            probe.kill();
            probe.waitForFinished();
            return {false, QStringLiteral("an empty sandbox did not start")};
        }
        if (probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0) {
            const QString said = QString::fromLocal8Bit(probe.readAll()).trimmed().section(QLatin1Char('\n'), 0, 0);
            return {false, QStringLiteral("bubblewrap cannot make a sandbox here (%1)")
                               .arg(said.isEmpty() ? QStringLiteral("exit code %1").arg(probe.exitCode()) : said)};
        }
    } catch (const AppError &error) {
        return {false, error.description()};
    }
    return {true, {}};
}

} // namespace

const ConfinementHere &OfficeConfinementHere()
{
    // Read at every call, so that a test may switch it for a while.
    static const ConfinementHere switchedOff{false,
                                             QStringLiteral("switched off by %1").arg(QLatin1String(kUnavailableSwitch))};
    if (qEnvironmentVariableIsSet(kUnavailableSwitch))
        return switchedOff;
    static const ConfinementHere here = findOut();
    return here;
}

QString UnconfinedOfficeNotice(const ConfinementHere &here)
{
    return QStringLiteral("the office runs unconfined, with this user's access to files and network: %1.")
        .arg(here.reason);
}

QString UnconfinedOfficeRefusal(const ConfinementHere &here)
{
    return QStringLiteral("the office cannot be confined here (%1), and --confined=require refuses to run it "
                          "unconfined.")
        .arg(here.reason);
}

OfficeJail::OfficeJail(const ConfinedFolders &folders)
    : m_filter(memoryFile("tarnwick-office-filter", OfficeSyscallFilter()))
{
    QByteArray content;
    for (const QString &argument : sandboxArguments(folders, m_filter.get()))
        content += QFile::encodeName(argument) + '\0';
    m_arguments = memoryFile("tarnwick-office-sandbox", content);
}

QString OfficeJail::program() const
{
    return bubblewrapPath();
}

QStringList OfficeJail::arguments(const QString &binary, const QStringList &binaryArguments) const
{
    return QStringList{QStringLiteral("--args"), QString::number(m_arguments.get()), QStringLiteral("--"), binary}
           + binaryArguments;
}

QList<int> OfficeJail::inheritedDescriptors() const
{
    return {m_filter.get(), m_arguments.get()};
}

void KeepForChild(const QList<int> &descriptors)
{
    for (const int descriptor : descriptors) {
        ::fcntl(descriptor, F_SETFD, 0);
        ::lseek(descriptor, 0, SEEK_SET);
    }
}
