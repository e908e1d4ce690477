#include "OAuthTestServer.h"
#include "SmtpTestServer.h"
#include "TestMain.h"
#include "delivery/MailConfiguration.h"
#include "delivery/MailSecrets.h"
#include "delivery/MailSender.h"
#include "merge/Mails.h"
#include "platform/oauth/OAuthTokenRequest.h"

#include <QTemporaryDir>

using namespace TestSupport;

// Runs signed in with a provider: a real authorization server and a real
// SMTP server that takes only the tokens that server issued and has not
// withdrawn, over several connections (each ends after two mails, so later
// mails log in again).
class tst_SendOAuth : public QObject
{
    Q_OBJECT

    OAuthTestServer m_provider;

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_provider.Start(), qPrintable(m_provider.Error())); }

    void run_data()
    {
        QTest::addColumn<QString>("control"); // for the provider before the run
        QTest::addColumn<QString>("signIn");  // the grant kept: issued, stale (an access
                                              // token the server never gave), revoked, none
        QTest::addColumn<int>("perMinute");
        QTest::addColumn<int>("delivered");
        QTest::addColumn<QString>("failure"); // what every failed mail says
        QTest::addColumn<bool>("keptAfter");  // the sign-in is still there after the run
        QTest::newRow("a run outliving its first token") << "life=1" << "issued" << 120 << 6 << "" << true;
        QTest::newRow("a refused token renewed once") << "" << "stale" << 0 << 6 << "" << true;
        QTest::newRow("a withdrawn sign-in ends the run")
            << "" << "revoked" << 0 << 0 << "the sign-in with the provider was withdrawn" << false;
        QTest::newRow("not signed in") << "" << "none" << 0 << 0 << "is not signed in with the provider" << false;
    }
    void run()
    {
        QFETCH(QString, control);
        QFETCH(QString, signIn);
        QFETCH(int, perMinute);
        QFETCH(int, delivered);
        QFETCH(QString, failure);
        QFETCH(bool, keptAfter);
        QVERIFY(m_provider.Control(QStringLiteral("reset=1&") + control).contains(QLatin1String("refreshes")));
        SmtpTestServer::Options options;
        options.mechanisms = QStringLiteral("XOAUTH2");
        options.introspectUrl = m_provider.Url(QStringLiteral("introspect"));
        options.dropAfter = 2;
        SmtpTestServer smtp(options);
        QVERIFY2(smtp.Start(), qPrintable(smtp.Error()));

        QTemporaryDir folder;
        const QString user = QString::fromLatin1(OAuthTestServer::Account);
        const OAuthProvider provider = m_provider.Provider();
        MailConfiguration settings(QString(), folder.path() + u'/');
        settings.SetSendUsingMethod(MailDeliverySettings::Port);
        settings.SetSMTPServer(QStringLiteral("127.0.0.1"));
        settings.SetSMTPServerPort(static_cast<qint16>(smtp.Port()));
        settings.SetSMTPConnectionTimeout(20);
        settings.SetSMPTAuthenticate(2);
        settings.SetSMTPUsername(user);
        settings.SetSMTPOAuthProvider(OAuthProvider::Other);
        settings.SetSMTPOAuthClientID(provider.clientId);
        settings.SetSMTPOAuthAuthorizeURL(provider.authorizeUrl);
        settings.SetSMTPOAuthTokenURL(provider.tokenUrl);
        settings.SetSMTPOAuthScope(provider.scope);
        settings.SetSMTPMaxPerMinute(perMinute);
        settings.Save();

        MailSecrets::ForgetGrant(settings.SMTPServer(), user);
        if (signIn != u"none") {
            OAuthGrant grant;
            OAuthError error;
            const QJsonObject issued = m_provider.Control(QStringLiteral("issue=1"))[QLatin1String("grant")].toObject();
            QVERIFY(OAuthTokenRequest::ReadGrant(issued, QDateTime::currentDateTimeUtc(), grant, error));
            if (signIn == u"stale")
                grant.accessToken = QStringLiteral("never-issued");
            if (signIn == u"revoked")
                m_provider.Control(QStringLiteral("revoke=1"));
            MailSecrets::StoreGrant(settings.SMTPServer(), user, grant);
        }

        Mails mails;
        QStringList failures;
        QObject::connect(&mails, &Mails::SendErr, [&](const QString& description, const QString&,
                                                      const FromAddressRef&, const QString&, const QString&,
                                                      const QString&) { failures << description; });
        const auto from = std::make_shared<const FromAddress>(QStringLiteral("Ann"), QStringLiteral("ann@example.com"),
                                                               QString());
        for (int i = 1; i <= 6; ++i)
            mails.Add(from, QStringLiteral("r%1@example.org").arg(i), QStringLiteral("S%1").arg(i),
                      QStringLiteral("Body\n"), QString());
        MailSender sender(mails);
        sender.SetConfigurationFolder(folder.path() + u'/');
        mails.SetKeepSending(true);
        sender.Send();

        QCOMPARE(smtp.MessageCount(), delivered);
        QCOMPARE(failures.size(), 6 - delivered);
        for (const QString& description : failures)
            QVERIFY2(description.contains(failure), qPrintable(description));
        const QJsonObject counters = m_provider.Control(QString());
        if (signIn == u"issued" || signIn == u"stale")
            QVERIFY2(counters[QLatin1String("refreshes")].toInt() >= 1, "the token was never renewed");
        // A withdrawn sign-in is forgotten, so the next send asks for a new one.
        OAuthGrant kept;
        QCOMPARE(MailSecrets::ReadGrant(settings.SMTPServer(), user, kept).outcome == SecretStore::Outcome::Done,
                 keptAfter);
    }
};

CORVANTA_TEST_GUILESS_MAIN(tst_SendOAuth)
#include "tst_SendOAuth.moc"
