#pragma once

#include "core/Settings.h"

#include <QString>
#include <functional>
#include <memory>

class QSettings;

// The user's preferences in an INI file under a fixed application name and section,
// surviving restarts.
//
// The file and its folder are the user's alone: a folder that others may write in or
// that is a link is refused when a setting is saved (RefusalError).
//
// A store file that cannot be understood at all is never written over: it is kept
// as "<file>.unreadable" (or "-2", "-3"... after that) and the store starts empty.
class SettingsStore final : public Settings {
public:
    // The user's own store.
    SettingsStore();
    // A store kept in the given file (tests, portable installs).
    explicit SettingsStore(const QString &file);
    ~SettingsStore() override;

    QString GetSetting(const QString &key, const QString &defaultValue) const override;
    void SaveSetting(const QString &key, const QString &value) override;

private:
    void setAsideIfUnreadable(const std::function<std::unique_ptr<QSettings>()> &open);
    QString keyPath(const QString &key) const;
    void makePrivate() const;
    std::unique_ptr<QSettings> m_settings;
    QString m_keepOut; // an unreadable file that could not be set aside
};
