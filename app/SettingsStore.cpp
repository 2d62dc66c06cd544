#include "app/SettingsStore.h"

#include "core/ProductConfig.h"
#include "util/AppError.h"
#include "util/PrivateFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace {

// The first free name of "<file>.unreadable", "<file>.unreadable-2", ...
QString unreadableCopyOf(const QString &file)
{
    QString copy = file + QStringLiteral(".unreadable");
    for (int n = 2; QFile::exists(copy); ++n)
        copy = file + QStringLiteral(".unreadable-%1").arg(n);
    return copy;
}

} // namespace

// Qt's INI form is used everywhere (also where the native store is a registry) so that
// every character of a value comes back exactly as it was written.
SettingsStore::SettingsStore()
{
    setAsideIfUnreadable([] {
        return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                           QLatin1String(ProductConfig::SettingsApplication),
                                           QLatin1String(ProductConfig::SettingsApplication));
    });
}

SettingsStore::SettingsStore(const QString &file)
{
    setAsideIfUnreadable([&file] { return std::make_unique<QSettings>(file, QSettings::IniFormat); });
}

// QSettings parses a file's sections only when they are used, and the first write
// replaces the whole file with what it understood: a file of garbage would be lost, and
// its format error would stick to every later write. A file that cannot be understood
// is therefore renamed out of the way before anything is written.
void SettingsStore::setAsideIfUnreadable(const std::function<std::unique_ptr<QSettings>()> &open)
{
    m_settings = open();
    const QString file = m_settings->fileName();
    QSettings alone(file, QSettings::IniFormat); // the user's own file, without fallbacks
    alone.allKeys();
    if (alone.status() != QSettings::FormatError)
        return;
    const QString copy = unreadableCopyOf(file);
    m_settings.reset();
    if (QFile::rename(file, copy)) {
        qWarning("The settings file %s could not be read; it was kept as %s and the defaults are used.",
                 qPrintable(file), qPrintable(copy));
    } else {
        m_keepOut = file; // left as it is: nothing is saved over it
    }
    m_settings = open();
}

SettingsStore::~SettingsStore() = default;

// Whatever the umask: the folder is made 0700 (and checked when it is there: its
// files name the folder the texts are written to), and a new file starts as 0600,
// which Qt's rewrites keep.
void SettingsStore::makePrivate() const
{
    const QString file = m_settings->fileName();
    MakePrivateFolder(QFileInfo(file).absolutePath());
    if (!QFileInfo::exists(file))
        QFile(file).open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner);
}

QString SettingsStore::keyPath(const QString &key) const
{
    return QLatin1String(ProductConfig::SettingsSection) + QLatin1Char('/') + key;
}

QString SettingsStore::GetSetting(const QString &key, const QString &defaultValue) const
{
    const QVariant value = m_settings->value(keyPath(key));
    if (!value.isValid())
        return defaultValue;
    // Values this program writes are always text. A file written by hand can hold an
    // unquoted list ("Smith, John" reads as two items) or a value that is no text at all.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    if (!value.canConvert<QString>())
        return defaultValue;
    return value.toString();
}

void SettingsStore::SaveSetting(const QString &key, const QString &value)
{
    if (!m_keepOut.isEmpty())
        throw AppError(QStringLiteral("The setting %1 was not saved: %2 could not be read and is left as it is.")
                           .arg(key, m_keepOut));
    makePrivate();
    m_settings->setValue(keyPath(key), value);
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError)
        throw AppError(QStringLiteral("The setting %1 could not be saved to %2.")
                           .arg(key, m_settings->fileName()));
}
