#include "batch/ConsoleDialogs.h"

Dialogs::Answer ConsoleDialogs::message(const QString &text, const QString &title, Buttons buttons, Icon)
{
    // Boxes break lines with CR (and CR LF); a terminal wants one line.
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    m_print(title.isEmpty() ? line.simplified() : title + QStringLiteral(": ") + line.simplified());
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}
