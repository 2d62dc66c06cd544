#pragma once

#include <QString>
#include <memory>

class QSettings;

// The program's few preferences: text values under a fixed application name and
// section, per user, written the moment they change and surviving restarts.
class SettingsStore {
public:
    // The user's own store.
    SettingsStore();
    // A store kept in the given file (tests, portable installs).
    explicit SettingsStore(const QString &file);
    ~SettingsStore();

    // The stored text, or the default when the key does not exist.
    QString GetSetting(const QString &key, const QString &defaultValue) const;
    // Creates or overwrites the key and writes it out at once. Throws AppError when
    // the store cannot be written.
    void SaveSetting(const QString &key, const QString &value);

private:
    QString keyPath(const QString &key) const;
    std::unique_ptr<QSettings> m_settings;
};

// Reads a stored yes/no value: "True"/"False" in any letter case, or a number where
// 0 is no and anything else yes. Anything else throws AppError ("Type mismatch").
bool ReadYesNo(const QString &text);

inline QString YesNoText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}
