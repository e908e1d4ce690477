#include "SmtpTestServer.h"
#include "SystemdStandin.h"
#include "MainWindowSetup.h"
#include "base/Texts.h"
#include "delivery/MailConfiguration.h"
#include "delivery/ctlWizSend.h"
#include "delivery/frmMailCfg.h"
#include "platform/service/SmtpSvc.h"
#include "store/FilesSystem.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace TestSupport;

namespace {

QString SettingsFile()
{
    return FilesSystem::VersionDataFolder() + QStringLiteral("mlcfg.dat");
}

// Settings as an earlier run of the dialog would have left them.
void Seed(qint32 method, qint32 authenticate, const QString& user, const QString& password)
{
    QFile::remove(SettingsFile());
    MailConfiguration settings;
    settings.SetSendUsingMethod(method);
    settings.SetSMTPServer(QStringLiteral("smtp.example.org"));
    settings.SetSMTPConnectionTimeout(60);
    settings.SetSMTPServerPort(587);
    settings.SetSMPTAuthenticate(authenticate);
    settings.SetSMTPUsername(user);
    settings.SetSMTPPassword(password);
    settings.SetSMTPTrustedCertificates(QStringLiteral("a.example 01ab\nb.example 02cd"));
    settings.Save();
}

QStringList Saved()
{
    const MailConfiguration s;
    return {QStringLiteral("method=%1").arg(s.SendUsingMethod()),
            QStringLiteral("server=") + s.SMTPServer(),
            QStringLiteral("timeout=%1").arg(s.SMTPConnectionTimeout()),
            QStringLiteral("port=%1").arg(quint16(s.SMTPServerPort())),
            QStringLiteral("auth=%1").arg(s.SMPTAuthenticate()),
            QStringLiteral("user=") + s.SMTPUsername(),
            QStringLiteral("password=") + s.SMTPPassword(),
            QStringLiteral("connections=%1").arg(s.SMTPMaxConnections()),
            QStringLiteral("encryption=%1").arg(s.SMTPEncryption()),
            QStringLiteral("ca=") + s.SMTPCAFile(),
            QStringLiteral("trusted=") + QString(s.SMTPTrustedCertificates()).replace(u'\n', u'|'),
            QStringLiteral("retry=%1").arg(s.SMTPRetryTemporary()),
            QStringLiteral("minute=%1").arg(s.SMTPMaxPerMinute()),
            QStringLiteral("day=%1").arg(s.SMTPMaxPerDay())};
}

// "#301" stands for text 301.
QString Expand(QString text)
{
    static const QRegularExpression id(QStringLiteral("#(\\d+)"));
    for (QRegularExpressionMatch m = id.match(text); m.hasMatch(); m = id.match(text))
        text.replace(m.capturedStart(), m.capturedLength(), LoadResString(m.captured(1).toInt()));
    return text;
}

// What a user does, one step an entry: "box=text" types into a box,
// "combo=2" picks that entry with the arrow keys, "list=0" selects a row,
// "?answer" queues the answer of the next file dialog, a bare name clicks.
void Act(QWidget* dialog, const QStringList& steps)
{
    for (const QString& step : steps) {
        if (step.startsWith(u'?')) {
            Dialogs::QueueAnswer(step.mid(1));
            continue;
        }
        const QString name = step.section(u'=', 0, 0);
        const QString value = step.section(u'=', 1);
        QWidget* control = dialog->findChild<QWidget*>(name);
        QVERIFY2(control, qPrintable(name));
        if (auto* box = qobject_cast<QLineEdit*>(control)) {
            box->setText(value);
        } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
            combo->setFocus();
            while (combo->currentIndex() != value.toInt())
                QTest::keyClick(combo, combo->currentIndex() < value.toInt() ? Qt::Key_Down : Qt::Key_Up);
        } else if (auto* list = qobject_cast<QListWidget*>(control)) {
            list->setCurrentRow(value.toInt());
        } else {
            qobject_cast<QAbstractButton*>(control)->click();
        }
    }
}

} // namespace

class TestMailSetup : public QObject
{
    Q_OBJECT

    SystemdStandin m_standin;
    QTemporaryDir m_temp;

    QString WithFiles(QString text) const
    {
        return text.replace(QStringLiteral("%DIR%"), m_temp.path());
    }

    // Opens the dialog, takes the steps, presses OK and closes what stays
    // open. Returns whether it saved; `balloon` gets what was shown.
    bool Run(const QStringList& steps, QString* balloon = nullptr)
    {
        WhenModal([=](QWidget* dialog) {
            Act(dialog, steps);
            QTest::mouseClick(Find<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
            if (balloon)
                *balloon = BalloonShown();
            if (dialog->isVisible())
                dialog->close();
        });
        return frmMailCfg::Edit(nullptr);
    }

private Q_SLOTS:
    void initTestCase()
    {
        MailConfiguration::SetDefaultAccountLookup({});
        QVERIFY2(m_standin.Start({QStringLiteral("exim4.service=active")}),
                 qPrintable(m_standin.Error()));
        QCOMPARE(MakeCertificate(m_temp.path(), {QStringLiteral("ca.example")}), QString());
    }
    void init() { SmtpSvc::UseBus(m_standin.Address()); }
    void cleanup()
    {
        ctlBalloonTip::CloseBalloon();
        VerifyAllAnswersTaken();
    }

    // What the dialog shows on opening and after clicks: which choices are
    // ticked and which controls are off.
    void enabledStates_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<int>("auth");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("service");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("ticked");
        QTest::addColumn<QStringList>("disabled");
        const QStringList local{"txtSMTPServer", "txtSMTPConnectionTimeout", "chkAuthenticationRequired",
                                "txtUsername", "txtPassword", "chkBlankPassword", "cboSMTPEncryption"};
        QTest::newRow("remote with a login") << 2 << 1 << "ann" << "pw" << true << QStringList{}
            << QStringList{"optSendUsing2", "chkAuthenticationRequired"} << QStringList{};
        QTest::newRow("stored without login, credentials kept: ticked")
            << 2 << 0 << "ann" << "pw" << true << QStringList{}
            << QStringList{"optSendUsing2", "chkAuthenticationRequired"} << QStringList{};
        QTest::newRow("stored with login, no credentials: not ticked")
            << 2 << 1 << "" << "" << true << QStringList{}
            << QStringList{"optSendUsing2", "chkBlankPassword"}
            << QStringList{"txtUsername", "txtPassword", "chkBlankPassword"};
        QTest::newRow("a user without password") << 2 << 1 << "ann" << "" << true << QStringList{}
            << QStringList{"optSendUsing2", "chkAuthenticationRequired", "chkBlankPassword"}
            << QStringList{"txtPassword"};
        QTest::newRow("local, no local service: still selected")
            << 1 << 1 << "ann" << "pw" << false << QStringList{}
            << QStringList{"optSendUsing1", "chkAuthenticationRequired"}
            << QStringList{"optSendUsing1"} + local;
        QTest::newRow("remote, local service missing") << 2 << 1 << "ann" << "pw" << false
            << QStringList{} << QStringList{"optSendUsing2", "chkAuthenticationRequired"}
            << QStringList{"optSendUsing1"};
        QTest::newRow("clicked to local") << 2 << 1 << "ann" << "pw" << true
            << QStringList{"optSendUsing1"} << QStringList{"optSendUsing1", "chkAuthenticationRequired"}
            << local;
        QTest::newRow("login unticked") << 2 << 1 << "ann" << "pw" << true
            << QStringList{"chkAuthenticationRequired"} << QStringList{"optSendUsing2"}
            << QStringList{"txtUsername", "txtPassword", "chkBlankPassword"};
        QTest::newRow("blank password ticked clears it") << 2 << 1 << "ann" << "pw" << true
            << QStringList{"chkBlankPassword"}
            << QStringList{"optSendUsing2", "chkAuthenticationRequired", "chkBlankPassword"}
            << QStringList{"txtPassword"};
    }
    void enabledStates()
    {
        QFETCH(int, method);
        QFETCH(int, auth);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(bool, service);
        QFETCH(QStringList, steps);
        Seed(method, auth, user, password);
        if (!service)
            SmtpSvc::UseBus(QStringLiteral("unix:path=/nonexistent/corvanta-bus"));
        QStringList ticked, disabled;
        QString passwordShown;
        WhenModal([&](QWidget* dialog) {
            Act(dialog, steps);
            for (const char* name : {"optSendUsing1", "optSendUsing2", "chkAuthenticationRequired",
                                     "chkBlankPassword"})
                if (Find<QAbstractButton>(dialog, name)->isChecked())
                    ticked << QLatin1String(name);
            for (const char* name : {"optSendUsing1", "optSendUsing2", "txtSMTPServer",
                                     "txtSMTPConnectionTimeout", "txtSMTPServerPort",
                                     "chkAuthenticationRequired", "txtUsername", "txtPassword",
                                     "chkBlankPassword", "cboSMTPEncryption"})
                if (!Find(dialog, name)->isEnabled())
                    disabled << QLatin1String(name);
            passwordShown = Find<QLineEdit>(dialog, "txtPassword")->text();
            dialog->close();
        });
        QVERIFY(!frmMailCfg::Edit(nullptr));
        QTEST(ticked, "ticked");
        QTEST(disabled, "disabled");
        if (ticked.contains(QStringLiteral("chkBlankPassword")))
            QCOMPARE(passwordShown, QString());
    }

    // OK checks in order and stops at the first refusal, which leaves the
    // file alone; otherwise what was entered is what a new MailConfiguration
    // reads.
    void okChecksThenSaves_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("balloon"); // empty when saved
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("as loaded") << QStringList{} << ""
            << QStringList{"method=2", "server=smtp.example.org", "timeout=60", "port=587", "auth=1",
                           "user=ann", "password=pw", "connections=4", "encryption=0", "ca=",
                           "trusted=a.example 01ab|b.example 02cd", "retry=1", "minute=0", "day=0"};
        QTest::newRow("server blank, before a bad time-out")
            << QStringList{"txtSMTPServer=  ", "txtSMTPConnectionTimeout=abc"} << "#301@txtSMTPServer"
            << QStringList{};
        QTest::newRow("time-out without a digit")
            << QStringList{"txtSMTPConnectionTimeout=abc"} << "#302@txtSMTPConnectionTimeout" << QStringList{};
        QTest::newRow("time-out 1x") << QStringList{"txtSMTPConnectionTimeout=1x"}
                                     << "#303@txtSMTPConnectionTimeout" << QStringList{};
        QTest::newRow("time-out beyond 16 bits") << QStringList{"txtSMTPConnectionTimeout=32768"}
                                                 << "#303@txtSMTPConnectionTimeout" << QStringList{};
        QTest::newRow("port empty, before a missing user")
            << QStringList{"txtSMTPServerPort= ", "txtUsername="} << "#315@txtSMTPServerPort" << QStringList{};
        QTest::newRow("port 70000") << QStringList{"txtSMTPServerPort=70000"} << "#316@txtSMTPServerPort"
                                    << QStringList{};
        QTest::newRow("port 0") << QStringList{"txtSMTPServerPort=0"} << "#316@txtSMTPServerPort"
                                << QStringList{};
        QTest::newRow("login without user") << QStringList{"txtUsername="} << "#304@txtUsername"
                                            << QStringList{};
        QTest::newRow("no connections") << QStringList{"txtSMTPMaxConnections="}
                                        << "#4200@txtSMTPMaxConnections" << QStringList{};
        QTest::newRow("eleven connections") << QStringList{"txtSMTPMaxConnections=11"}
                                            << "#4201@txtSMTPMaxConnections" << QStringList{};
        QTest::newRow("CA file missing") << QStringList{"txtSMTPCAFile=%DIR%/none.pem"}
                                         << "#4202@txtSMTPCAFile" << QStringList{};
        QTest::newRow("CA file a key, no certificate") << QStringList{"txtSMTPCAFile=%DIR%/key.pem"}
                                                       << "#4203@txtSMTPCAFile" << QStringList{};
        QTest::newRow("a day's limit beyond 32 bits") << QStringList{"txtSMTPMaxPerDay=2147483648"}
                                                      << "#4204@txtSMTPMaxPerDay" << QStringList{};
        QTest::newRow("numbers rewritten as converted")
            << QStringList{"txtSMTPConnectionTimeout= 0090", "txtSMTPServerPort=045517",
                           "txtSMTPMaxConnections=10", "txtSMTPMaxPerMinute=30", "txtSMTPMaxPerDay=0"}
            << "" << QStringList{"timeout=90", "port=45517", "connections=10", "minute=30", "day=0"};
        QTest::newRow("local: no server, no user, numbers still written")
            << QStringList{"optSendUsing1", "txtSMTPServer=", "txtUsername=", "txtSMTPServerPort=2525"}
            << "" << QStringList{"method=1", "server=", "user=", "timeout=60", "port=2525"};
        QTest::newRow("local: a number that does not convert")
            << QStringList{"optSendUsing1", "txtSMTPConnectionTimeout=1x"} << "#5|#4230@cmdOK"
            << QStringList{};
        QTest::newRow("login with an empty password") << QStringList{"txtPassword="} << ""
            << QStringList{"auth=1", "user=ann", "password="};
        QTest::newRow("no login keeps the credentials") << QStringList{"chkAuthenticationRequired"} << ""
            << QStringList{"auth=0", "user=ann", "password=pw"};
        QTest::newRow("TLS from the start proposes 465")
            << QStringList{"cboSMTPEncryption=1"} << "" << QStringList{"encryption=1", "port=465"};
        QTest::newRow("back to STARTTLS proposes 587")
            << QStringList{"cboSMTPEncryption=1", "cboSMTPEncryption=0"} << ""
            << QStringList{"encryption=0", "port=587"};
        QTest::newRow("CA file browsed, a certificate forgotten, no retry")
            << QStringList{"?%DIR%/cert.pem", "cmdBrowseCAFile", "lstTrustedCertificates=0",
                           "cmdForgetCertificate", "chkSMTPRetryTemporary"}
            << "" << QStringList{"ca=%DIR%/cert.pem", "trusted=b.example 02cd", "retry=0"};
    }
    void okChecksThenSaves()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, balloon);
        QFETCH(QStringList, stored);
        Seed(2, 1, QStringLiteral("ann"), QStringLiteral("pw"));
        const QStringList before = Saved();
        QString shown;
        const bool saved = Run(WithFiles(steps.join(u'\n')).split(u'\n', Qt::SkipEmptyParts), &shown);
        QCOMPARE(shown, Expand(balloon));
        QCOMPARE(saved, balloon.isEmpty());
        const QStringList after = Saved();
        if (!saved)
            QCOMPARE(after, before);
        for (const QString& entry : stored)
            QVERIFY2(after.contains(WithFiles(entry)), qPrintable(entry + QStringLiteral(" not in ") + after.join(u' ')));
    }

    // A file that cannot be written is told at OK; the dialog stays open.
    void aFailedSaveKeepsTheDialog()
    {
        QFile::remove(SettingsFile());
        QVERIFY(QDir().mkpath(SettingsFile() + QStringLiteral("/in-the-way")));
        QString shown;
        const bool saved = Run({QStringLiteral("txtSMTPServer=smtp.example.org")}, &shown);
        QVERIFY(QDir(SettingsFile()).removeRecursively());
        QVERIFY(!saved);
        QVERIFY2(shown.startsWith(LoadResString(5) + u'|') && shown.endsWith(QStringLiteral("@cmdOK")),
                 qPrintable(shown));
    }

    void theSendStepOpensIt()
    {
        ctlWizSend step;
        QString opened;
        WhenModal([&](QWidget* dialog) {
            opened = dialog->objectName();
            dialog->close();
        });
        Find<QPushButton>(&step, "cmdEMailSetup")->click();
        QCOMPARE(opened, QStringLiteral("frmMailCfg"));
    }
};

CORVANTA_TEST_MAIN(TestMailSetup)
#include "tst_MailSetup.moc"
