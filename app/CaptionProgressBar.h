#pragma once

#include <QProgressBar>

// A progress bar whose caption shows exactly as set. QProgressBar reads its format
// as a pattern and turns "%p", "%v" and "%m" into numbers, which would garble file
// names holding them. The caption ("Processing: NAME") is the bar's accessible
// description too.
class CaptionProgressBar : public QProgressBar {
public:
    using QProgressBar::QProgressBar;

    void setCaption(const QString &caption)
    {
        setFormat(caption);
        setAccessibleDescription(caption); // Qt tells the change to a screen reader
    }
    QString text() const override { return format(); }
};
