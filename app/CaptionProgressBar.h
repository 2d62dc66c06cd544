#pragma once

#include <QAccessible>
#include <QProgressBar>

// A progress bar whose caption shows exactly as set. QProgressBar reads its format
// as a pattern and turns "%p", "%v" and "%m" into numbers, which would garble file
// names holding them. The caption ("Processing: NAME") is the bar's accessible
// description too, and each new one is told to assistive technologies.
class CaptionProgressBar : public QProgressBar {
public:
    using QProgressBar::QProgressBar;

    void setCaption(const QString &caption)
    {
        setFormat(caption);
        if (accessibleDescription() == caption)
            return;
        setAccessibleDescription(caption);
        QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&changed);
    }
    QString text() const override { return format(); }
};
