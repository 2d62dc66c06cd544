#pragma once

#include <QString>
#include <functional>
#include <memory>

class QSettings;

// The program's few preferences: text values under a fixed application name and
// section, per user, written the moment they change and surviving restarts.
//
// A store file that cannot be understood at all is never written over: it is kept
// as "<file>.unreadable" (or "-2", "-3"... after that) and the store starts empty.
class SettingsStore {
public:
    // The user's own store.
    SettingsStore();
    // A store kept in the given file (tests, portable installs).
    explicit SettingsStore(const QString &file);
    ~SettingsStore();

    // The stored text, or the default when the key does not exist or holds no text.
    QString GetSetting(const QString &key, const QString &defaultValue) const;
    // Creates or overwrites the key and writes it out at once. Throws AppError when
    // the store cannot be written.
    void SaveSetting(const QString &key, const QString &value);

private:
    void setAsideIfUnreadable(const std::function<std::unique_ptr<QSettings>()> &open);
    QString keyPath(const QString &key) const;
    std::unique_ptr<QSettings> m_settings;
    QString m_keepOut; // an unreadable file that could not be set aside
};

// Reads a stored yes/no value: "True"/"False" in any letter case, or a number where
// 0 is no and anything else yes. Anything else throws AppError ("Type mismatch").
bool ReadYesNo(const QString &text);

inline QString YesNoText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}
