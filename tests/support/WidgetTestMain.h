#pragma once

// For tests that drive windows: a QApplication and every dialog answered by
// script. Tests that include this link the widget library; the others link
// only the core, which proves the core needs no widgets.
#include "TestMain.h"
#include "WindowDriver.h"

#include <QApplication>

// Like QTEST_MAIN, with a private home and every dialog answered by script.
// A question with no answer queued fails the test.
#define CORVANTA_TEST_MAIN(TestObject)                                                             \
    CORVANTA_TEST_MAIN_OF(QApplication, TestObject, app.setAttribute(Qt::AA_Use96Dpi, true);       \
                          Dialogs::SetScripted(true);                                              \
                          Dialogs::SetUnansweredHandler(TestSupport::FailUnanswered))
