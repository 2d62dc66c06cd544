#pragma once

#include <QProgressBar>

// A progress bar whose caption shows exactly as set. QProgressBar reads its format
// as a pattern and turns "%p", "%v" and "%m" into numbers, which would garble file
// names holding them. The caption ("Processing: NAME") is the bar's accessible
// description too, except the idle one, which only names the control: a screen
// reader already says it is a progress bar, and is told nothing stale.
class CaptionProgressBar : public QProgressBar {
public:
    using QProgressBar::QProgressBar;

    static QString idleCaption() { return QStringLiteral("Progress Bar"); }

    void setCaption(const QString &caption)
    {
        setFormat(caption);
        // Qt tells the change to a screen reader.
        setAccessibleDescription(caption == idleCaption() ? QString() : caption);
    }
    QString text() const override { return format(); }
};
