#include "convert/office/OfficeEnvironment.h"

#include <clocale>
#include <cstring>
#include <langinfo.h>

namespace {

// What setlocale(LC_CTYPE, "") would pick in a process with this environment.
QString effectiveCharacterLocale(const QProcessEnvironment &env)
{
    for (const char *variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const QString value = env.value(QLatin1String(variable));
        if (!value.isEmpty())
            return value;
    }
    return QStringLiteral("C");
}

// False also for a UTF-8 locale that is not installed: the office would fall
// back to C.
bool isInstalledUtf8Locale(const QString &name)
{
    const locale_t locale = newlocale(LC_CTYPE_MASK, name.toLocal8Bit().constData(), locale_t(nullptr));
    if (!locale)
        return false;
    const bool utf8 = std::strcmp(nl_langinfo_l(CODESET, locale), "UTF-8") == 0;
    freelocale(locale);
    return utf8;
}

} // namespace

QProcessEnvironment officeEnvironment(QProcessEnvironment base, const QString &temporaryFolder)
{
    base.insert(QStringLiteral("TMPDIR"), temporaryFolder);
    // As the soffice launcher script does.
    base.insert(QStringLiteral("SAL_ENABLE_FILE_LOCKING"), QStringLiteral("1"));
    if (!isInstalledUtf8Locale(effectiveCharacterLocale(base)))
        base.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    return base;
}
