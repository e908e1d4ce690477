#pragma once

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

// For tests of code without windows.
#define CORVANTA_TEST_GUILESS_MAIN(TestObject)                                                     \
    int main(int argc, char* argv[])                                                               \
    {                                                                                              \
        TestSupport::PrepareHome();                                                                \
        TestSupport::UseBuiltReaderHelper();                                                       \
        QCoreApplication app(argc, argv);                                                          \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
