#include "input/SampleFiles.h"

#include "core/ErrorReport.h"
#include "core/Settings.h"
#include "input/FolderScan.h"
#include "util/EventPump.h"
#include "util/PathHelpers.h"

namespace {

const QString SnapshotKey = QStringLiteral("Snapshot");

QString withSeparator(const QString &folder)
{
    return folder.endsWith(PathSeparator()) ? folder : folder + PathSeparator();
}

// Both directions walk the text byte by byte with the key running on across it.
// Bytes live in 1..255: a sum past 255 loses 255, a difference below 1 gains 255.
QByteArray shift(const QByteArray &text, const QByteArray &key, int direction)
{
    if (key.isEmpty())
        return text;
    QByteArray out;
    out.reserve(text.size());
    qsizetype k = 0;
    for (const char c : text) {
        YieldToEvents();
        const int x = static_cast<unsigned char>(c);
        const int y = static_cast<unsigned char>(key[k]);
        k = (k + 1) % key.size();
        int v = x + direction * y;
        if (v > 255)
            v -= 255;
        else if (v < 1)
            v += 255;
        out.append(static_cast<char>(v));
    }
    return out;
}

} // namespace

QString SampleKey()
{
    return QStringLiteral("wendlark");
}

QString ScrambleText(const QString &plain, const QString &key)
{
    return QString::fromLatin1(shift(plain.toUtf8(), key.toLatin1(), +1));
}

QString UnscrambleText(const QString &scrambled, const QString &key)
{
    return QString::fromUtf8(shift(scrambled.toLatin1(), key.toLatin1(), -1));
}

QString SampleFolder(const QString &programFolder)
{
    return withSeparator(programFolder) + QStringLiteral("Samples");
}

void RecordSampleFiles(Settings &settings, const QString &programFolder)
{
    const QString folder = SampleFolder(programFolder) + PathSeparator();
    QStringList paths;
    for (const QString &name : ListFolderFiles(folder, QStringLiteral("*.*")))
        paths << folder + name;
    settings.SaveSetting(SnapshotKey, ScrambleText(paths.join(QLatin1Char('|')), SampleKey()));
}

bool RecordSampleFilesIfMissing(Settings &settings, const QString &programFolder)
{
    if (!settings.GetSetting(SnapshotKey, QString()).isEmpty())
        return false;
    RecordSampleFiles(settings, programFolder);
    return true;
}

bool IsInFileList(const QStringList &rows, const QString &path)
{
    return rows.contains(path, Qt::CaseSensitive);
}

QString OpenSampleFolderQuestion()
{
    return QStringLiteral("Would you like this software to open the folder where these sample files "
                          "are stored (so that you can view them before working with them)?");
}

void LoadSampleFiles(ListWindow &window, const QString &programFolder)
{
    // A missing value reads as "False", which unscrambles to no existing path.
    const QString stored = window.settings().GetSetting(SnapshotKey, QStringLiteral("False"));
    const QString plain = UnscrambleText(stored, SampleKey());
    const QStringList pieces = plain.isEmpty() ? QStringList() : plain.split(QLatin1Char('|'));
    for (const QString &path : pieces)
        if (FileExists(path) && !IsInFileList(window.rows(), path))
            window.appendRow(path);

    const Dialogs::Answer answer = window.dialogs().message(
        OpenSampleFolderQuestion(), window.applicationTitle(), Dialogs::Buttons::YesNo, Dialogs::Icon::None);
    if (answer == Dialogs::Answer::Yes)
        window.dialogs().openFolder(SampleFolder(programFolder) + PathSeparator());
}

void LoadSampleFilesCommand(ListWindow &window, const QString &programFolder)
{
    StepRunner step(window.dialogs(), FormLocation(QStringLiteral("PushButton9_Click")));
    step(100, [&] { LoadSampleFiles(window, programFolder); });
}
