#pragma once

#include "core/Dialogs.h"
#include "convert/OfficeBridge.h"
#include "convert/TargetFile.h"
#include "convert/TargetName.h"

#include <QString>
#include <optional>

// What the conversion run reads from and shows on the main window.
class RunWindow {
public:
    virtual ~RunWindow() = default;
    virtual int rowCount() const = 0;
    // Row text by 1-based position; nullopt when there is no such row (any more).
    virtual std::optional<QString> rowText(int position) const = 0;
    virtual Destination destination() const = 0;
    virtual QString folderText() const = 0;
    virtual void setProgressValue(double percent) = 0;
    virtual void setProgressCaption(const QString &caption) = 0;
    virtual void setBusy(bool busy) = 0;
    virtual QString applicationTitle() const = 0;
};

// "Start Converting To TXT": every row of the list becomes a text file through the
// office suite, one file after the other, the window staying alive in between.
class ConversionRun {
public:
    ConversionRun(RunWindow &window, OfficeBridge &office, Dialogs &dialogs)
        : m_window(window), m_office(office), m_dialogs(dialogs) {}

    void convertAll();

    bool IsConverting() const { return m_isConverting; }

    // The two fixed waits per file; one second each in the program.
    void setWaitSeconds(double seconds) { m_waitSeconds = seconds; }

private:
    void convertOne(class StepRunner &step, const QString &source);
    // The row of the list that names the target file, if any: a text file in the list
    // is never written over by the conversion of another document.
    std::optional<QString> listedDocumentAt(const QString &target) const;
    void showPlain(const QString &text);

    RunWindow &m_window;
    OfficeBridge &m_office;
    Dialogs &m_dialogs;
    RunTextFiles m_textFiles; // written by the run under way
    bool m_isConverting = false;
    double m_waitSeconds = 1.0;
};
