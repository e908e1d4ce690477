#pragma once

// For tests that drive windows: a QApplication and every dialog answered by
// script. Tests that include this link the widget library; the others link
// only the core, which proves the core needs no widgets.
#include "TestMain.h"
#include "controls/Dialogs.h"

#include <QApplication>

namespace TestSupport {

// A question the test queued no answer for fails it (outside a test function,
// the run): the safe default it gets instead would hide a question.
inline void FailUnanswered(const Dialogs::Asked& asked)
{
    const QByteArray what = "no answer queued for: " + asked.text.toUtf8();
    QTest::currentTestFunction() ? QTest::qFail(what, __FILE__, __LINE__)
                                 : qFatal("%s", what.data());
}

} // namespace TestSupport

// Like QTEST_MAIN, with a private home and every dialog answered by script.
#define CORVANTA_TEST_MAIN(TestObject)                                                             \
    CORVANTA_TEST_MAIN_OF(QApplication, TestObject, app.setAttribute(Qt::AA_Use96Dpi, true);       \
                          Dialogs::SetScripted(true);                                              \
                          Dialogs::SetUnansweredHandler(TestSupport::FailUnanswered))
