#include "app/Skin.h"

#include "util/AppError.h"
#include "util/PathHelpers.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QWidget>

namespace {

// Qt reports a style sheet it cannot parse only as a warning while polishing; catch
// that warning for the one call that applies the skin.
QtMessageHandler previousHandler = nullptr;
bool parseFailed = false;

void watchForParseFailure(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("Could not parse")))
        parseFailed = true;
    else if (previousHandler)
        previousHandler(type, context, message);
}

// The face colour comes with the text colour of faces, so that text reads on it.
void takeFaceColour(QWidget &widget, const QColor &face, const QColor &faceText)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, face);
    palette.setColor(QPalette::WindowText, faceText);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

} // namespace

QString SkinFileOf(const QString &programFolder)
{
    return programFolder + QStringLiteral("x") + PathSeparator() + QStringLiteral("o.cjs");
}

void ApplySkin(QWidget &window, const QString &programFolder)
{
    const QString file = SkinFileOf(programFolder);
    const QFileInfo info(file);
    if (!info.isFile() || info.isHidden())
        return;

    const QColor face = window.palette().color(QPalette::Button);
    const QColor faceText = window.palette().color(QPalette::ButtonText);
    takeFaceColour(window, face, faceText);
    for (QWidget *child : window.findChildren<QWidget *>()) {
        if (qobject_cast<QRadioButton *>(child) || qobject_cast<QCheckBox *>(child)
            || qobject_cast<QGroupBox *>(child) || qobject_cast<QLabel *>(child))
            takeFaceColour(*child, face, faceText);
    }

    QFile skin(file);
    if (!skin.open(QIODevice::ReadOnly | QIODevice::Text))
        throw AppError(QStringLiteral("The skin %1 cannot be read: %2").arg(file, skin.errorString()));
    const QString sheet = QString::fromUtf8(skin.readAll());

    parseFailed = false;
    previousHandler = qInstallMessageHandler(watchForParseFailure);
    window.setStyleSheet(sheet);
    window.ensurePolished();
    qInstallMessageHandler(previousHandler);
    if (parseFailed) {
        window.setStyleSheet(QString());
        throw AppError(QStringLiteral("The skin %1 is not a valid style sheet.").arg(file));
    }
}
