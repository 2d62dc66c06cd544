#pragma once

#include "core/Dialogs.h"
#include "core/Settings.h"

#include <QString>
#include <QStringList>

// What the commands that fill the file list need from the main window.
class ListWindow {
public:
    virtual ~ListWindow() = default;

    virtual Dialogs &dialogs() = 0;        // also the owner of every dialog
    virtual Settings &settings() = 0;
    virtual QString applicationTitle() const = 0; // title of boxes that give none of their own
    virtual void appendRow(const QString &path) = 0;
    virtual QStringList rows() const = 0;         // the row texts, first to last
    virtual void setBusy(bool busy) = 0;          // hourglass on / normal pointer
};
