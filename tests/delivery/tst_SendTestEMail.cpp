#include "MainWindowSetup.h"
#include "SmtpTestMessages.h"
#include "SmtpTestServer.h"
#include "delivery/MailConfiguration.h"
#include "delivery/frmSendTestEMail.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSslCertificate>
#include <QTreeWidget>

using namespace TestSupport;
using Tls = SmtpTestServer::Tls;

namespace {

// The mail settings the next run reads: this server, and a login when a
// password is given.
void UseServer(const SmtpTestServer& server, const QString& password = {}, qint16 timeout = 30)
{
    MailConfiguration settings;
    settings.SetSMTPServer(QStringLiteral("127.0.0.1"));
    settings.SetSMTPServerPort(qint16(server.Port()));
    settings.SetSMTPConnectionTimeout(timeout);
    settings.SetSMPTAuthenticate(password.isEmpty() ? 0 : 1);
    settings.SetSMTPUsername(QStringLiteral("mailer"));
    settings.SetSMTPPassword(password);
    settings.Save();
}

QString Fingerprint(const QString& certificateFile)
{
    const QList<QSslCertificate> read = QSslCertificate::fromPath(certificateFile);
    return read.isEmpty() ? QString() : QString::fromLatin1(read.first().digest(QCryptographicHash::Sha256).toHex());
}

// The error list as "address|reason" rows.
QStringList Errors(QWidget* wizard)
{
    QStringList rows;
    auto* list = Find<QTreeWidget>(wizard, "lvwErrors");
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        rows << list->topLevelItem(i)->text(0).chopped(5) + u'|' + list->topLevelItem(i)->text(1);
    return rows;
}

} // namespace

class TestSendTestEMail : public QObject
{
    Q_OBJECT

    std::unique_ptr<frmSendTestEMail> m_wizard;

    void Open(bool sender = true)
    {
        m_wizard = std::make_unique<frmSendTestEMail>(
            nullptr,
            sender ? std::make_shared<const FromAddress>(QStringLiteral("Ada"), QStringLiteral("ada@example.org"), QString())
                   : nullptr,
            sender ? QStringLiteral("Ada <ada@example.org>") : QString());
        m_wizard->show();
    }
    // Where a user would: near the left, on a radio button's circle.
    void Click(const char* name)
    {
        auto* button = Find<QAbstractButton>(m_wizard.get(), name);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
    }
    void Type(const QStringList& addresses)
    {
        for (int i = 0; i < addresses.size(); ++i)
            Find<QLineEdit>(m_wizard.get(), QByteArray("txtTestEMail" + QByteArray::number(i)).constData())
                ->setText(addresses[i]);
    }

private Q_SLOTS:
    void cleanup()
    {
        ctlBalloonTip::CloseBalloon();
        m_wizard.reset();
        VerifyAllAnswersTaken();
    }

    // The date and time in the subject come from one reading of the clock:
    // leading zeros, and the last moment of a year.
    void subject()
    {
        QCOMPARE(frmSendTestEMail::TestSubject({{2005, 3, 5}, {9, 7, 59}}),
                 "Test e-mail sent on 2005-03-05 09:07 by Corvanta");
        QCOMPARE(frmSendTestEMail::TestSubject({{1999, 12, 31}, {23, 59, 59, 999}}),
                 "Test e-mail sent on 1999-12-31 23:59 by Corvanta");
    }

    // Addresses are trimmed and checked in order, empty boxes skipped; one
    // mail goes to each, from the Compose step's sender. A refused address
    // is listed with the server's words, the others still arrive; with no
    // error the wizard asks whether they arrived and gives its verdict.
    // Previous goes back one step of the road. A refusal that concerns every
    // mail lists each address with the one reason; a refused login is tried
    // once. An unknown certificate can be looked at and trusted: it is
    // pinned for the host in the settings and the test mail then arrives.
    // Without a sender nothing goes.
    void addresses_data()
    {
        QTest::addColumn<QString>("setup"); // "login" (a wrong password), "tls", "no sender"
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QString>("balloon");   // "text id@box"; none: the mails go
        QTest::addColumn<QStringList>("errors");  // "address|reason" ("*" any text)
        QTest::addColumn<QStringList>("arrived"); // in order of sending
        QTest::addColumn<bool>("received");       // the answer on the success page
        QTest::newRow("none") << "" << QStringList{"", "  ", ""} << "1117@txtTestEMail0" << QStringList()
                              << QStringList() << false;
        QTest::newRow("second not an address")
            << "" << QStringList{"ok@example.org", "not an address", "x"} << "1118@txtTestEMail1" << QStringList()
            << QStringList() << false;
        QTest::newRow("third alone") << "" << QStringList{"", " ", " third@example.org "} << "" << QStringList()
                                     << QStringList{"third@example.org"} << true;
        QTest::newRow("three, not received")
            << "" << QStringList{"a@example.org", "b@example.net", "c@example.com"} << "" << QStringList()
            << QStringList{"a@example.org", "b@example.net", "c@example.com"} << false;
        QTest::newRow("one of two refused")
            << "" << QStringList{"refused@example.org", "b@example.net"} << ""
            << QStringList{"refused@example.org|550*"} << QStringList{"b@example.net"} << false;
        const QStringList two{"a@example.org", "b@example.org"};
        const auto both = [](const QString& reason) {
            return QStringList{"a@example.org|" + reason, "b@example.org|" + reason};
        };
        QTest::newRow("wrong password") << "login" << two << ""
                                        << both("not sent: the server refused the login: 535*") << QStringList()
                                        << false;
        QTest::newRow("self-signed certificate")
            << "tls" << two << ""
            << both("not sent: the mail server's certificate was not accepted: *self-signed*") << QStringList()
            << false;
        QTest::newRow("no sender") << "no sender" << two << "" << both(LoadResString(4310)) << QStringList()
                                   << false;
    }
    void addresses()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, typed);
        QFETCH(QString, balloon);
        QFETCH(QStringList, errors);
        QFETCH(QStringList, arrived);
        QFETCH(bool, received);
        SmtpTestServer::Options options;
        options.reject = {QStringLiteral("refused@example.org")};
        if (setup == QLatin1String("login")) {
            options.user = QStringLiteral("mailer");
            options.password = QStringLiteral("right");
        }
        options.tls = setup == QLatin1String("tls") ? Tls::StartTls : Tls::None;
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        UseServer(server, setup == QLatin1String("login") ? QStringLiteral("wrong") : QString());
        Open(setup != QLatin1String("no sender"));
        Type(typed);
        Click("cmdNext");
        const int page = !balloon.isEmpty() ? 0 : errors.isEmpty() ? 2 : 1;
        QCOMPARE(m_wizard->Page(), page);
        if (!balloon.isEmpty()) {
            const QString text = LoadResString(balloon.section(u'@', 0, 0).toInt());
            QCOMPARE(BalloonShown(), text + u'@' + balloon.section(u'@', 1));
        }
        const QStringList shown = Errors(m_wizard.get());
        QCOMPARE(shown.size(), errors.size());
        for (int i = 0; i < errors.size(); ++i)
            QVERIFY2(Matches(shown[i], errors[i]), qPrintable(shown[i]));
        QCOMPARE(server.MessageCount(), arrived.size());
        for (int i = 0; i < arrived.size(); ++i) {
            const QJsonObject mail = server.Inspect(i + 1);
            QCOMPARE(mail.value("to").toArray().at(0).toObject().value("address").toString(), arrived[i]);
            QCOMPARE(mail.value("from").toArray().at(0).toObject().value("address").toString(), "ada@example.org");
            QVERIFY(Matches(mail.value("subject").toString(), "Test e-mail sent on 20*-*-* *:* by Corvanta"));
            QCOMPARE(mail.value("body").toString().trimmed(), LoadResString(1122));
        }
        QCOMPARE(server.LoginCount(), int(setup == QLatin1String("login")));
        if (arrived.isEmpty()) // no mail went: one connection tried, none without a sender
            QCOMPARE(server.ConnectionCount(), int(page != 0 && setup != QLatin1String("no sender")));
        auto* trust = Find<QPushButton>(m_wizard.get(), "cmdTrustCertificate");
        QCOMPARE(trust->isVisible(), options.tls != Tls::None);
        if (trust->isVisible()) {
            const QString fingerprint = Fingerprint(server.CertificateFile());
            QString seen;
            WhenModal([&seen](QWidget* dialog) {
                for (const char* name : {"lblSubjectText", "lblIssuerText", "lblValidityText", "lblFingerprintText"})
                    seen += Find<QLabel>(dialog, name)->text() + u'|';
                QTest::mouseClick(Find<QPushButton>(dialog, "cmdTrust"), Qt::LeftButton);
            });
            QTest::mouseClick(trust, Qt::LeftButton);
            QVERIFY2(seen.startsWith(QLatin1String("CN=localhost|CN=localhost|")), qPrintable(seen));
            QVERIFY2(seen.remove(u':').remove(u'\n').contains(fingerprint.toUpper()), qPrintable(seen));
            QCOMPARE(MailConfiguration().SMTPTrustedCertificates(), "127.0.0.1 " + fingerprint);
            QCOMPARE(m_wizard->Page(), 2);
            QCOMPARE(server.MessageCount(), 2);
        }
        if (m_wizard->Page() != 2)
            return;
        Click(received ? "optIsMailReceived0" : "optIsMailReceived1");
        Click("cmdNext");
        QCOMPARE(m_wizard->Page(), received ? 3 : 4);
        QVERIFY(!Find<QPushButton>(m_wizard.get(), "cmdNext")->isEnabled());
        Click("cmdPrevious");
        QCOMPARE(m_wizard->Page(), 2);
        Click("cmdPrevious");
        QCOMPARE(m_wizard->Page(), 0);
        QVERIFY(!Find<QPushButton>(m_wizard.get(), "cmdPrevious")->isEnabled());
    }

    // Cancel, or closing the window, stops a run that waits on a server
    // that never answers: the wizard closes and the run ends then, not at
    // the time-out (which would show the errors page).
    void cancelWhileSending_data()
    {
        QTest::addColumn<bool>("close");
        QTest::newRow("Cancel") << false;
        QTest::newRow("closing the window") << true;
    }
    void cancelWhileSending()
    {
        QFETCH(bool, close);
        SmtpTestServer::Options options;
        options.silent = true;
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        UseServer(server, {}, 20);
        Open();
        Type({"a@example.org"});
        QTimer::singleShot(300, m_wizard.get(), [this, close] {
            QVERIFY(!Find<QPushButton>(m_wizard.get(), "cmdNext")->isEnabled()); // no second run meanwhile
            close ? void(m_wizard->close()) : Click("cmdCancel");
        });
        Click("cmdNext");
        QVERIFY(!m_wizard->isVisible());
        QCOMPARE(m_wizard->result(), int(QDialog::Rejected));
        QCOMPARE(m_wizard->Page(), 0);
        QCOMPARE(server.ConnectionCount(), 1);
    }
};

CORVANTA_TEST_MAIN(TestSendTestEMail)
#include "tst_SendTestEMail.moc"
