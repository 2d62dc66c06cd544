/* Tarnwick's skin: a calm, flat look with the system's own face colour.
   Every background set here comes with the text colour drawn on it, so that the
   window reads the same under a light or a dark desktop palette. */
QWidget#Form1 {
    background-color: #f3f4f6;
    color: #1f2933;
}
QGroupBox {
    border: 1px solid #c9ced6;
    border-radius: 6px;
    margin-top: 10px;
    padding-top: 4px;
    background-color: #ffffff;
    color: #1f2933;
}
QGroupBox::title {
    subcontrol-origin: margin;
    left: 10px;
    padding: 0 4px;
    color: #30475e;
}
QGroupBox#Frame4 {
    border: none;
    margin-top: 0;
    background-color: transparent;
}
QRadioButton {
    color: #1f2933;
    background-color: transparent;
    spacing: 6px;
}
QRadioButton::indicator {
    width: 12px;
    height: 12px;
    border: 1px solid #7b8794;
    border-radius: 7px;
    background-color: #ffffff;
}
QRadioButton::indicator:checked {
    border: 4px solid #2f6db5;
    width: 6px;
    height: 6px;
}
QRadioButton::indicator:disabled {
    background-color: #eceef1;
}
QPushButton {
    color: #ffffff;
    background-color: #2f6db5;
    border: 1px solid #275d9b;
    border-radius: 5px;
    padding: 2px 10px;
}
/* Keyboard focus: a ring with at least 3:1 contrast (WCAG 2.x) against the window
   around it and against every face of both buttons (normal, hover, pressed), which
   all keep at least 4.5:1 for their white label. */
QPushButton:focus {
    border: 2px solid #000000;
    padding: 1px 9px;
}
QPushButton:hover {
    background-color: #3673bd;
}
QPushButton:pressed {
    background-color: #2a64a8;
}
QPushButton:disabled {
    color: #ffffff;
    background-color: #a9b9cc;
    border-color: #a9b9cc;
}
QPushButton#PushButton2 {
    background-color: #237a4b;
    border-color: #1d6640;
}
QPushButton#PushButton2:hover {
    background-color: #2a7f4f;
}
QPushButton#PushButton2:pressed {
    background-color: #1f6b42;
}
QPushButton#PushButton2:focus {
    border-color: #000000;
}
QLineEdit {
    border: 1px solid #b8c0cc;
    border-radius: 4px;
    padding: 1px 4px;
    background-color: #ffffff;
    color: #1f2933;
    selection-background-color: #2f6db5;
    selection-color: #ffffff;
}
QLineEdit:disabled {
    background-color: #eceef1;
    color: #8a939f;
}
QTreeWidget {
    border: 1px solid #c9ced6;
    border-radius: 4px;
    background-color: #ffffff;
    color: #1f2933;
    alternate-background-color: #f7f9fc;
    selection-background-color: #2f6db5;
    selection-color: #ffffff;
}
QHeaderView {
    background-color: #e6e9ee;
    color: #30475e;
}
QHeaderView::section {
    background-color: #e6e9ee;
    color: #30475e;
    border: none;
    border-bottom: 1px solid #c9ced6;
    padding: 3px 6px;
}
QProgressBar {
    border: 1px solid #b8c0cc;
    border-radius: 5px;
    background-color: #ffffff;
    color: #1f2933;
    text-align: center;
}
QProgressBar::chunk {
    background-color: #7fc29b;
    border-radius: 4px;
}
