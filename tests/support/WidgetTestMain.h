#pragma once

// For tests that drive windows: a QApplication and every dialog answered by
// script. Tests that include this link the widget library; the others link
// only the core, which proves the core needs no widgets.
#include "TestMain.h"
#include "controls/Dialogs.h"

#include <QApplication>

// Like QTEST_MAIN, with a private home and every dialog answered by script.
#define CORVANTA_TEST_MAIN(TestObject)                                                             \
    int main(int argc, char* argv[])                                                               \
    {                                                                                              \
        TestSupport::PrepareHome();                                                                \
        TestSupport::UseBuiltReaderHelper();                                                       \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        Dialogs::SetScripted(true);                                                                \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
