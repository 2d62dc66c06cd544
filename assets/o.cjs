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
/* Keyboard focus: a ring that stands out from both button colours. */
QPushButton:focus {
    border: 2px solid #f5a623;
    padding: 1px 9px;
}
QPushButton:hover {
    background-color: #3a7dc9;
}
QPushButton:pressed {
    background-color: #255a96;
}
QPushButton:disabled {
    color: #ffffff;
    background-color: #a9b9cc;
    border-color: #a9b9cc;
}
QPushButton#PushButton2 {
    background-color: #2e8b57;
    border-color: #267349;
}
QPushButton#PushButton2:hover {
    background-color: #36a165;
}
QPushButton#PushButton2:focus {
    border-color: #f5a623;
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
