#pragma once

#include "app/MainWindow.h"
#include "input/FileListView.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

// The main window's controls, found by their design names as a person finds them by
// their captions.
template <class W>
W *controlOf(const QWidget &window, const char *name)
{
    W *widget = window.findChild<W *>(QLatin1String(name));
    if (!widget)
        qFatal("the window has no control named %s", name);
    return widget;
}

inline FileListView *ListView1(const QWidget &w) { return controlOf<FileListView>(w, "ListView1"); }
inline QPushButton *PushButton2(const QWidget &w) { return controlOf<QPushButton>(w, "PushButton2"); }
inline QPushButton *PushButton3(const QWidget &w) { return controlOf<QPushButton>(w, "PushButton3"); }
inline QPushButton *PushButton4(const QWidget &w) { return controlOf<QPushButton>(w, "PushButton4"); }
inline QPushButton *PushButton6(const QWidget &w) { return controlOf<QPushButton>(w, "PushButton6"); }
inline QPushButton *PushButton8(const QWidget &w) { return controlOf<QPushButton>(w, "PushButton8"); }
inline QPushButton *PushButton9(const QWidget &w) { return controlOf<QPushButton>(w, "PushButton9"); }
inline QGroupBox *Frame3(const QWidget &w) { return controlOf<QGroupBox>(w, "Frame3"); }
inline QGroupBox *Frame4(const QWidget &w) { return controlOf<QGroupBox>(w, "Frame4"); }
inline QRadioButton *Option1(const QWidget &w) { return controlOf<QRadioButton>(w, "Option1"); }
inline QRadioButton *Option2(const QWidget &w) { return controlOf<QRadioButton>(w, "Option2"); }
inline QLineEdit *Text1(const QWidget &w) { return controlOf<QLineEdit>(w, "Text1"); }
inline QProgressBar *ProgressBar1(const QWidget &w) { return controlOf<QProgressBar>(w, "ProgressBar1"); }

// The pointer moves over a control, with no button down.
inline void hover(QWidget *control)
{
    const QPoint pos(2, 2);
    QMouseEvent move(QEvent::MouseMove, pos, control->mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(control, &move);
}
