#include "MainWindowSetup.h"
#include "OAuthTestServer.h"
#include "SmtpTestServer.h"
#include "SystemdStandin.h"
#include "base/Texts.h"
#include "delivery/MailConfiguration.h"
#include "delivery/MailSecrets.h"
#include "delivery/ctlWizSend.h"
#include "delivery/frmMailCfg.h"
#include "platform/oauth/OAuthSignIn.h"
#include "platform/service/SmtpSvc.h"
#include "store/FilesSystem.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QLabel>
#include <QListWidget>
#include <QNetworkAccessManager>
#include <QNetworkReply>
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
            QStringLiteral("day=%1").arg(s.SMTPMaxPerDay()),
            QStringLiteral("provider=%1").arg(s.SMTPOAuthProvider()),
            QStringLiteral("tenant=") + s.SMTPOAuthTenant(),
            QStringLiteral("client=") + s.SMTPOAuthClientID() + u'|' + s.SMTPOAuthClientSecret(),
            QStringLiteral("endpoints=") + s.SMTPOAuthAuthorizeURL() + u'|' + s.SMTPOAuthTokenURL() + u'|' +
                s.SMTPOAuthDeviceURL(),
            QStringLiteral("scope=") + s.SMTPOAuthScope()};
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
// "?answer" queues the answer of the next file dialog, "wait=text" waits
// for the sign-in state to hold that text, a bare name clicks.
void Act(QWidget* dialog, const QStringList& steps)
{
    for (const QString& step : steps) {
        if (step.startsWith(u'?')) {
            Dialogs::QueueAnswer(step.mid(1));
            continue;
        }
        const QString name = step.section(u'=', 0, 0);
        const QString value = step.section(u'=', 1);
        if (name == u"paste") { // into a browser: it follows the provider to the loopback
            static QNetworkAccessManager browser;
            QNetworkReply* reply = browser.get(QNetworkRequest(QUrl(QGuiApplication::clipboard()->text())));
            QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
            continue;
        }
        if (name == u"wait") {
            auto* state = dialog->findChild<QLabel*>(QStringLiteral("lblOAuthState"));
            QTRY_VERIFY2_WITH_TIMEOUT(state->text().contains(value), qPrintable(state->text()), 20000);
            continue;
        }
        QWidget* control = dialog->findChild<QWidget*>(name);
        QVERIFY2(control, qPrintable(name));
        if (auto* box = qobject_cast<QLineEdit*>(control)) {
            box->setText(value);
        } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
            combo->setFocus();
            while (combo->currentIndex() != value.toInt())
                QTest::keyClick(combo,
                                combo->currentIndex() < value.toInt() ? Qt::Key_Down : Qt::Key_Up);
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

    static void Row(const char* name, const char* steps, const char* balloon,
                    const char* stored = "")
    {
        QTest::newRow(name) << QString(steps) << QString(balloon) << QString(stored);
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
        QTest::addColumn<QString>("stored"); // method, auth, user, password ("-" empty)
        QTest::addColumn<bool>("service");
        QTest::addColumn<QString>("steps"); // each takes a list of names
        QTest::addColumn<QString>("ticked");
        QTest::addColumn<QString>("disabled");
        const char* local = "txtSMTPServer txtSMTPConnectionTimeout chkAuthenticationRequired "
                            "txtUsername txtPassword chkBlankPassword cboSMTPEncryption";
        const char* auth = "optSendUsing2 chkAuthenticationRequired";
        QTest::newRow("remote with a login") << "2 1 ann pw" << true << "" << auth << "";
        QTest::newRow("login off, credentials kept: on")
            << "2 0 ann pw" << true << "" << auth << "";
        QTest::newRow("login on, no credentials: off")
            << "2 1 - -" << true << ""
            << "optSendUsing2 chkBlankPassword"
            << "txtUsername txtPassword chkBlankPassword";
        QTest::newRow("a user without password")
            << "2 1 ann -" << true << "" << QString(auth) + " chkBlankPassword"
            << "txtPassword";
        QTest::newRow("local, no local service: still selected")
            << "1 1 ann pw" << false << ""
            << "optSendUsing1 chkAuthenticationRequired" << QString("optSendUsing1 ") + local;
        QTest::newRow("remote, no local service")
            << "2 1 ann pw" << false << "" << auth << "optSendUsing1";
        QTest::newRow("clicked to local") << "2 1 ann pw" << true << "optSendUsing1"
                                          << "optSendUsing1 chkAuthenticationRequired" << local;
        QTest::newRow("login unticked") << "2 1 ann pw" << true << "chkAuthenticationRequired"
                                        << "optSendUsing2"
                                        << "txtUsername txtPassword chkBlankPassword";
        QTest::newRow("blank password ticked clears it")
            << "2 1 ann pw" << true << "chkBlankPassword" << QString(auth) + " chkBlankPassword"
            << "txtPassword";
    }
    void enabledStates()
    {
        QFETCH(QString, stored);
        QFETCH(bool, service);
        QFETCH(QString, steps);
        const QStringList values = stored.replace(u'-', QString()).split(u' ');
        Seed(values[0].toInt(), values[1].toInt(), values[2], values[3]);
        if (!service)
            SmtpSvc::UseBus(QStringLiteral("unix:path=/nonexistent/corvanta-bus"));
        QStringList ticked, disabled;
        QString passwordShown;
        // Opened as the user does, from the Send step.
        ctlWizSend step;
        WhenModal([&](QWidget* dialog) {
            QCOMPARE(dialog->objectName(), QStringLiteral("frmMailCfg"));
            Act(dialog, steps.split(u' ', Qt::SkipEmptyParts));
            for (const char* name : {"optSendUsing1", "optSendUsing2", "chkAuthenticationRequired",
                                     "chkBlankPassword"})
                if (Find<QAbstractButton>(dialog, name)->isChecked())
                    ticked << QLatin1String(name);
            for (const char* name :
                 {"optSendUsing1", "optSendUsing2", "txtSMTPServer", "txtSMTPConnectionTimeout",
                  "txtSMTPServerPort", "chkAuthenticationRequired", "txtUsername", "txtPassword",
                  "chkBlankPassword", "cboSMTPEncryption"})
                if (!Find(dialog, name)->isEnabled())
                    disabled << QLatin1String(name);
            passwordShown = Find<QLineEdit>(dialog, "txtPassword")->text();
            dialog->close();
        });
        Find<QPushButton>(&step, "cmdEMailSetup")->click();
        QTEST(ticked.join(u' '), "ticked");
        QTEST(disabled.join(u' '), "disabled");
        if (ticked.contains(QStringLiteral("chkBlankPassword")))
            QCOMPARE(passwordShown, QString());
    }

    // OK checks in order and stops at the first refusal, which leaves the
    // file alone; otherwise what was entered is what a new MailConfiguration
    // reads.
    void okChecksThenSaves_data()
    {
        QTest::addColumn<QString>("steps");   // one step a ";"
        QTest::addColumn<QString>("balloon"); // empty when saved
        QTest::addColumn<QString>("stored");  // what a new MailConfiguration reads
        Row("as loaded", "", "",
            "method=2;server=smtp.example.org;timeout=60;port=587;auth=1;user=ann;password=pw;"
            "connections=4;encryption=0;ca=;trusted=a.example 01ab|b.example 02cd;"
            "retry=1;minute=0;day=0");
        Row("server blank, before a bad time-out", "txtSMTPServer=  ;txtSMTPConnectionTimeout=abc",
            "#301@txtSMTPServer");
        Row("time-out without a digit", "txtSMTPConnectionTimeout=abc",
            "#302@txtSMTPConnectionTimeout");
        Row("time-out 1x", "txtSMTPConnectionTimeout=1x", "#303@txtSMTPConnectionTimeout");
        Row("time-out beyond 16 bits", "txtSMTPConnectionTimeout=32768",
            "#303@txtSMTPConnectionTimeout");
        Row("port empty, before a missing user",
            "txtSMTPServerPort= ;txtUsername=", "#315@txtSMTPServerPort");
        Row("port 70000", "txtSMTPServerPort=70000", "#316@txtSMTPServerPort");
        Row("port 0", "txtSMTPServerPort=0", "#316@txtSMTPServerPort");
        Row("login without user", "txtUsername=", "#304@txtUsername");
        Row("no connections", "txtSMTPMaxConnections=", "#4200@txtSMTPMaxConnections");
        Row("eleven connections", "txtSMTPMaxConnections=11", "#4201@txtSMTPMaxConnections");
        Row("CA file missing", "txtSMTPCAFile=%DIR%/none.pem", "#4202@txtSMTPCAFile");
        Row("CA file a key, no certificate", "txtSMTPCAFile=%DIR%/key.pem", "#4203@txtSMTPCAFile");
        Row("a day's limit beyond 32 bits", "txtSMTPMaxPerDay=2147483648",
            "#4204@txtSMTPMaxPerDay");
        Row("numbers rewritten as converted",
            "txtSMTPConnectionTimeout= 0090;txtSMTPServerPort=045517;txtSMTPMaxConnections=10;"
            "txtSMTPMaxPerMinute=30;txtSMTPMaxPerDay=0",
            "", "timeout=90;port=45517;connections=10;minute=30;day=0");
        Row("local: no server, no user, numbers still written",
            "optSendUsing1;txtSMTPServer=;txtUsername=;txtSMTPServerPort=2525", "",
            "method=1;server=;user=;timeout=60;port=2525");
        Row("local: a number that does not convert", "optSendUsing1;txtSMTPConnectionTimeout=1x",
            "#5|#4230@cmdOK");
        Row("login with an empty password", "txtPassword=", "", "auth=1;user=ann;password=");
        Row("no login keeps the credentials", "chkAuthenticationRequired", "",
            "auth=0;user=ann;password=pw");
        Row("TLS from the start proposes 465", "cboSMTPEncryption=1", "", "encryption=1;port=465");
        Row("back to STARTTLS proposes 587", "cboSMTPEncryption=1;cboSMTPEncryption=0", "",
            "encryption=0;port=587");
        Row("Microsoft 365 brings its server, port and STARTTLS",
            "cboSMTPEncryption=1;cboAuthenticationKind=1;"
            "txtOAuthTenant= contoso.example ;txtOAuthClientID=cid",
            "", "auth=2;server=smtp.office365.com;port=587;encryption=0;provider=0;tenant=contoso.example;"
                "client=cid|;scope=;password=");
        Row("Google keeps its client secret", "cboAuthenticationKind=2;txtOAuthClientID=gid;txtOAuthClientSecret=gs",
            "", "auth=2;server=smtp.gmail.com;provider=1;client=gid|gs;scope=");
        Row("a provider needs a client ID", "cboAuthenticationKind=1", "#5170@txtOAuthClientID");
        Row("another provider's endpoints must be encrypted off this machine",
            "cboAuthenticationKind=3;txtOAuthClientID=c;txtOAuthAuthorizeURL=http://id.example.org/a;"
            "txtOAuthTokenURL=https://id.example.org/t",
            "#5171@txtOAuthAuthorizeURL");
        Row("another provider on this machine, with its own scope; the presets passed on the way leave no trace",
            "cboSMTPEncryption=1;cboAuthenticationKind=3;txtOAuthClientID=c;txtOAuthAuthorizeURL=http://127.0.0.1:9/a;"
            "txtOAuthTokenURL=https://id.example.org/t;txtOAuthDeviceURL=https://id.example.org/d;"
            "txtOAuthScope=smtp  offline",
            "", "auth=2;server=smtp.example.org;port=465;encryption=1;provider=2;client=c|;"
                "endpoints=http://127.0.0.1:9/a|https://id.example.org/t|https://id.example.org/d;"
                "scope=smtp offline");
        Row("CA file browsed, a certificate forgotten, no retry",
            "?%DIR%/cert.pem;cmdBrowseCAFile;lstTrustedCertificates=0;"
            "cmdForgetCertificate;chkSMTPRetryTemporary",
            "", "ca=%DIR%/cert.pem;trusted=b.example 02cd;retry=0");
    }
    void okChecksThenSaves()
    {
        QFETCH(QString, steps);
        QFETCH(QString, balloon);
        QFETCH(QString, stored);
        Seed(2, 1, QStringLiteral("ann"), QStringLiteral("pw"));
        const QStringList before = Saved();
        QString shown;
        const bool saved = Run(WithFiles(steps).split(u';', Qt::SkipEmptyParts), &shown);
        QCOMPARE(shown, Expand(balloon));
        QCOMPARE(saved, balloon.isEmpty());
        const QStringList after = Saved();
        if (!saved)
            QCOMPARE(after, before);
        for (const QString& entry : stored.split(u';', Qt::SkipEmptyParts))
            QVERIFY2(after.contains(WithFiles(entry)),
                     qPrintable(entry + QStringLiteral(" not in ") + after.join(u' ')));
    }

    // Only the rows of the chosen way of logging in show.
    void loginRows_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("shown");
        QTest::newRow("password") << "" << "txtPassword chkBlankPassword";
        QTest::newRow("Microsoft 365")
            << "cboAuthenticationKind=1" << "txtOAuthTenant txtOAuthClientID cmdSignIn cmdSignInWithCode";
        QTest::newRow("Google") << "cboAuthenticationKind=2" << "txtOAuthClientID txtOAuthClientSecret cmdSignIn";
        QTest::newRow("another provider")
            << "cboAuthenticationKind=3"
            << "txtOAuthClientID txtOAuthClientSecret txtOAuthAuthorizeURL txtOAuthDeviceURL cmdSignIn";
        QTest::newRow("another provider with a device endpoint")
            << "cboAuthenticationKind=3;txtOAuthDeviceURL=https://id.example.org/d"
            << "txtOAuthClientID txtOAuthClientSecret txtOAuthAuthorizeURL txtOAuthDeviceURL cmdSignIn "
               "cmdSignInWithCode";
    }
    void loginRows()
    {
        QFETCH(QString, steps);
        Seed(2, 1, QStringLiteral("ann"), QStringLiteral("pw"));
        QStringList shown;
        WhenModal([&](QWidget* dialog) {
            dialog->show();
            Act(dialog, steps.split(u';', Qt::SkipEmptyParts));
            for (const char* name : {"txtPassword", "chkBlankPassword", "txtOAuthTenant", "txtOAuthClientID",
                                     "txtOAuthClientSecret", "txtOAuthAuthorizeURL", "txtOAuthDeviceURL",
                                     "cmdSignIn", "cmdSignInWithCode"})
                if (Find(dialog, name)->isVisible())
                    shown << QLatin1String(name);
            dialog->close();
        });
        frmMailCfg::Edit(nullptr);
        QTEST(shown.join(u' '), "shown");
    }

    // A sign-in in the browser counts once OK saves it, under the server
    // and user saved; Sign Out forgets it the same way.
    void signInKeptByOK_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("signedIn");
        QTest::newRow("signed in, OK") << "cmdSignIn;wait=signed.in@example.test;cmdOK" << true;
        QTest::newRow("signed in, Cancel") << "cmdSignIn;wait=signed.in@example.test;cmdCancel" << false;
        QTest::newRow("signed out, OK") << "cmdSignIn;wait=signed.in@example.test;cmdOK;reopen;"
                                           "wait=signed.in@example.test;cmdSignOut;cmdOK"
                                        << false;
        QTest::newRow("a sign-in cancelled") << "cmdSignIn;cmdSignIn;cmdOK" << false;
        QTest::newRow("no browser: the address pasted by hand")
            << "nobrowser;cmdSignIn;wait=clipboard;paste;wait=signed.in@example.test;cmdOK" << true;
    }
    void signInKeptByOK()
    {
        QFETCH(QString, steps);
        QFETCH(bool, signedIn);
        OAuthTestServer provider;
        QVERIFY2(provider.Start(), qPrintable(provider.Error()));
        QNetworkAccessManager browser; // follows the provider's redirect to the loopback
        const bool noBrowser = steps.startsWith(QStringLiteral("nobrowser;"));
        steps.remove(QStringLiteral("nobrowser;"));
        OAuthSignIn::SetBrowser([&browser, noBrowser](const QUrl& address) {
            if (noBrowser)
                return false;
            QNetworkReply* reply = browser.get(QNetworkRequest(address));
            QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
            return true;
        });
        Seed(2, 2, QString(), QString());
        MailSecrets::ForgetGrant(QStringLiteral("smtp.example.org"), QString::fromLatin1(OAuthTestServer::Account));
        const OAuthProvider endpoints = provider.Provider();
        QStringList first = {QStringLiteral("cboAuthenticationKind=3"),
                             QStringLiteral("txtUsername=") + QString::fromLatin1(OAuthTestServer::Account),
                             QStringLiteral("txtOAuthClientID=") + endpoints.clientId,
                             QStringLiteral("txtOAuthAuthorizeURL=") + endpoints.authorizeUrl,
                             QStringLiteral("txtOAuthTokenURL=") + endpoints.tokenUrl};
        const QStringList all = steps.split(u';');
        const qsizetype reopen = all.indexOf(QStringLiteral("reopen"));
        first += all.mid(0, reopen);
        for (const QStringList& part : {first, reopen < 0 ? QStringList() : all.mid(reopen + 1)}) {
            if (part.isEmpty())
                continue;
            WhenModal([&](QWidget* dialog) {
                Act(dialog, part);
                if (dialog->isVisible())
                    dialog->close();
            });
            frmMailCfg::Edit(nullptr);
        }
        OAuthGrant grant;
        const MailConfiguration saved;
        QCOMPARE(MailSecrets::ReadGrant(saved.SMTPServer(), QString::fromLatin1(OAuthTestServer::Account), grant)
                         .outcome == SecretStore::Outcome::Done,
                 signedIn);
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
        QVERIFY2(shown.startsWith(LoadResString(5) + u'|') &&
                     shown.endsWith(QStringLiteral("@cmdOK")),
                 qPrintable(shown));
    }
};

CORVANTA_TEST_MAIN(TestMailSetup)
#include "tst_MailSetup.moc"
