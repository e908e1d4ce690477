#pragma once

#include "platform/mail/MailTransport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTest>

namespace TestSupport {

// Gives the test process a fresh, private home (set by CTest in
// CORVANTA_TEST_HOME) so data folders, lock files and settings of one test
// never meet those of another or of the user. Returns the home's path.
QString PrepareHome();

// Points the reader helper at the built one: tests do not run beside it.
void UseBuiltReaderHelper();

// The shared real-world test files.
inline QString TestData(const QString& relative)
{
    return QStringLiteral(CORVANTA_TESTDATA "/") + relative;
}

} // namespace TestSupport

// A test's main(): a private home and the built reader helper, then the
// application and `setup` before the test object runs. Fails when a send
// run lost count of its mails (MailTransport::BrokenRuns).
#define CORVANTA_TEST_MAIN_OF(Application, TestObject, setup)                                     \
    int main(int argc, char* argv[])                                                               \
    {                                                                                              \
        TestSupport::PrepareHome();                                                                \
        TestSupport::UseBuiltReaderHelper();                                                       \
        Application app(argc, argv);                                                               \
        setup;                                                                                     \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        const int failed = QTest::qExec(&tc, argc, argv);                                          \
        return failed ? failed : int(MailTransport::BrokenRuns() > 0);                             \
    }

// For tests of code without windows.
#define CORVANTA_TEST_GUILESS_MAIN(TestObject) CORVANTA_TEST_MAIN_OF(QCoreApplication, TestObject, )
