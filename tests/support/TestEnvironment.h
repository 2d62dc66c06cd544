#pragma once

#include <QApplication>
#include <QTest>

// Points HOME and the XDG folders at a fresh temporary folder, so that no test ever
// reads or writes the real user's settings, desktop or caches. Returns that folder.
QString IsolateUserFolders();

// QTEST_MAIN with the user's folders isolated before Qt starts.
#define TARNWICK_TEST_MAIN(TestClass)                                                              \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        IsolateUserFolders();                                                                      \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestClass test;                                                                            \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
