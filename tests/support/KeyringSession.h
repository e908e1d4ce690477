#pragma once

#include "TestMain.h"

#include <QProcess>

namespace TestSupport {

// The desktop a keyring test runs on: a private session bus with an unlocked
// gnome-keyring-daemon on it (its keyrings under the test's home), a private
// bus without one, or no bus at all. The bus connection is made once per
// process, so each kind runs in a process of its own (CORVANTA_TEST_KEYRING_MAIN).
class KeyringSession
{
public:
    enum class Kind
    {
        Keyring,
        BusWithoutKeyring,
        NoBus
    };

    KeyringSession() = default;
    ~KeyringSession();
    KeyringSession(const KeyringSession&) = delete;
    KeyringSession& operator=(const KeyringSession&) = delete;

    // Starts what this process's kind needs and points the environment at
    // it; false, with the reason printed, when it cannot.
    bool Start();

    // The kind this test process runs under.
    static Kind Current();
    static bool HasKeyring() { return Current() == Kind::Keyring; }
    // Locks the login keyring; it stays locked, as unlocking asks the user.
    static bool LockKeyring();

private:
    bool StartBus();
    bool StartKeyring();

    QProcess m_bus;
    QProcess m_keyring;
    QString m_address;
};

// Runs this test program once for every kind, each in a child process, and
// gives the number of kinds that failed.
int RunOncePerKeyringKind(int argc, char* argv[]);

} // namespace TestSupport

// A main() for tests that run under each kind of keyring.
#define CORVANTA_TEST_KEYRING_MAIN(TestObject)                                                     \
    int main(int argc, char* argv[])                                                               \
    {                                                                                              \
        if (qEnvironmentVariableIsEmpty("CORVANTA_KEYRING_KIND"))                                  \
            return TestSupport::RunOncePerKeyringKind(argc, argv);                                 \
        TestSupport::PrepareHome();                                                                \
        TestSupport::UseBuiltReaderHelper();                                                       \
        QCoreApplication app(argc, argv);                                                          \
        TestSupport::KeyringSession session;                                                       \
        if (!session.Start())                                                                      \
            return 1;                                                                              \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
