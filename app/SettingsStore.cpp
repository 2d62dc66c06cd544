#include "app/SettingsStore.h"

#include "app/ProductConfig.h"
#include "util/AppError.h"

#include <QSettings>

// Qt's INI form is used everywhere (also where the native store is a registry) so that
// every character of a value comes back exactly as it was written.
SettingsStore::SettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                             QLatin1String(ProductConfig::SettingsApplication),
                                             QLatin1String(ProductConfig::SettingsApplication)))
{
}

SettingsStore::SettingsStore(const QString &file)
    : m_settings(std::make_unique<QSettings>(file, QSettings::IniFormat))
{
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::keyPath(const QString &key) const
{
    return QLatin1String(ProductConfig::SettingsSection) + QLatin1Char('/') + key;
}

QString SettingsStore::GetSetting(const QString &key, const QString &defaultValue) const
{
    const QVariant value = m_settings->value(keyPath(key));
    if (!value.isValid())
        return defaultValue;
    return value.toString();
}

void SettingsStore::SaveSetting(const QString &key, const QString &value)
{
    m_settings->setValue(keyPath(key), value);
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError)
        throw AppError(QStringLiteral("The setting %1 could not be saved to %2.")
                           .arg(key, m_settings->fileName()));
}

bool ReadYesNo(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool isNumber = false;
    const double number = trimmed.toDouble(&isNumber);
    if (isNumber)
        return number != 0.0;
    throw AppError(QStringLiteral("Type mismatch"));
}
