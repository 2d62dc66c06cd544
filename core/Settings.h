#pragma once

#include <QString>

// The program's few preferences: text values by key, per user, written the moment
// they change. The store itself lives with the application; everything below it
// sees only this.
class Settings {
public:
    virtual ~Settings() = default;

    // The stored text, or the default when the key does not exist or holds no text.
    virtual QString GetSetting(const QString &key, const QString &defaultValue) const = 0;
    // Creates or overwrites the key and writes it out at once. Throws AppError when
    // the store cannot be written.
    virtual void SaveSetting(const QString &key, const QString &value) = 0;
};

// Reads a stored yes/no value: "True"/"False" in any letter case, or a number where
// 0 is no and anything else yes. Anything else throws AppError ("Type mismatch").
bool ReadYesNo(const QString &text);

inline QString YesNoText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}
