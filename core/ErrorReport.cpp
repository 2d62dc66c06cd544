#include "core/ErrorReport.h"

#include "core/ProductConfig.h"
#include "util/AppError.h"

#include <exception>

QString FormLocation(const QString &handlerName)
{
    return QLatin1String(ProductConfig::FormLocation) + handlerName + QLatin1Char(' ');
}

QString ErrorReportText(const QString &description, const QString &location, int line)
{
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ")
           + QString::number(line) + QStringLiteral("\r\r")
           + QStringLiteral("Please email screenshot of this message to ")
           + QLatin1String(ProductConfig::SupportEmail);
}

bool StepRunner::operator()(int line, const std::function<void()> &step)
{
    try {
        step();
        return true;
    } catch (const AppError &error) {
        report(error.description(), line);
    } catch (const std::exception &error) {
        report(QString::fromLocal8Bit(error.what()), line);
    } catch (...) {
        report(QStringLiteral("Unknown error"), line);
    }
    return false;
}

void StepRunner::report(const QString &description, int line)
{
    ++m_failures;
    m_dialogs.message(ErrorReportText(description, m_location, line),
                      QStringLiteral("Application Error"), Dialogs::Buttons::Ok,
                      Dialogs::Icon::Exclamation);
}
