#include "OAuthTestServer.h"
#include "TestMain.h"
#include "platform/oauth/OAuthSession.h"
#include "platform/oauth/OAuthSignIn.h"
#include "platform/oauth/OAuthTokenRequest.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QUrlQuery>

using TestSupport::OAuthTestServer;

namespace {

// Plays the user's browser: follows the authorization address to the
// provider's 302 and then, maybe with another state, to the program's
// loopback page.
struct TestBrowser
{
    QNetworkAccessManager network;
    QUrl opened;
    QString otherState; // replaces the state on the way back when set
    QString problem;    // the provider refused the authorization request
    QString page;       // the loopback's answer, or why there was none
    bool finished = false;

    void Open(const QUrl& address)
    {
        opened = address;
        network.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
        QNetworkReply* reply = network.get(QNetworkRequest(address));
        QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply] {
            reply->deleteLater();
            QUrl back = reply->header(QNetworkRequest::LocationHeader).toUrl();
            if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 302) {
                problem = QString::fromUtf8(reply->readAll()) + reply->errorString();
                return;
            }
            if (!otherState.isEmpty()) {
                QUrlQuery query(back);
                query.removeQueryItem(QStringLiteral("state"));
                query.addQueryItem(QStringLiteral("state"), otherState);
                back.setQuery(query);
            }
            QNetworkReply* answer = network.get(QNetworkRequest(back));
            QObject::connect(answer, &QNetworkReply::finished, answer, [this, answer] {
                answer->deleteLater();
                page = QString::fromUtf8(answer->readAll());
                if (answer->error() != QNetworkReply::NoError)
                    page += answer->errorString();
                finished = true;
            });
        });
    }
};

// How a sign-in ended; the sign-in is deleted from the slot of its own signal.
struct Outcome
{
    int signals = 0;
    OAuthGrant grant;
    QString failure;

    void Watch(OAuthSignIn* signIn)
    {
        QObject::connect(signIn, &OAuthSignIn::Granted, signIn, [this, signIn](const OAuthGrant& given) {
            ++signals;
            grant = given;
            delete signIn;
        });
        QObject::connect(signIn, &OAuthSignIn::Failed, signIn, [this, signIn](const QString& reason) {
            ++signals;
            failure = reason;
            delete signIn;
        });
    }
};

} // namespace

class tst_OAuth : public QObject
{
    Q_OBJECT

    OAuthTestServer m_server;
    TestBrowser* m_browser = nullptr;

    // A grant fresh from the server's token endpoint.
    OAuthGrant IssuedGrant()
    {
        OAuthGrant grant;
        OAuthError error;
        const QJsonObject answer = m_server.Control(QStringLiteral("issue=1"));
        if (!OAuthTokenRequest::ReadGrant(answer.value(QLatin1String("grant")).toObject(),
                                          QDateTime::currentDateTimeUtc(), grant, error))
            qWarning() << "no grant:" << answer;
        return grant;
    }

    int Counter(const char* name) const
    {
        return m_server.Control(QString()).value(QLatin1String(name)).toInt(-1);
    }

    // A grant of the server's, with the default life of an hour.
    void CheckGranted(const OAuthGrant& grant)
    {
        QVERIFY(m_server.Active(grant.accessToken));
        QVERIFY(!grant.refreshToken.isEmpty());
        QCOMPARE(grant.account, QLatin1String(OAuthTestServer::Account));
        const qint64 left = QDateTime::currentDateTimeUtc().secsTo(grant.expiresAt);
        QVERIFY2(left > 3570 && left <= 3600, qPrintable(QString::number(left)));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_server.Start(), qPrintable(m_server.Error()));
    }

    void init()
    {
        QVERIFY(m_server.Control(QStringLiteral("reset=1")).contains(QLatin1String("exchanges")));
        OAuthSignIn::SetBrowser([this](const QUrl& address) {
            if (m_browser)
                m_browser->Open(address);
            return m_browser != nullptr;
        });
    }

    void presets_data()
    {
        QTest::addColumn<OAuthProvider::Kind>("kind");
        QTest::addColumn<QString>("tenant");
        QTest::addColumn<QStringList>("endpoints"); // authorize, token, device, scope
        const QString ms = QStringLiteral("https://login.microsoftonline.com/%1/oauth2/v2.0/");
        const QString smtp = QStringLiteral("https://outlook.office.com/SMTP.Send offline_access");
        for (const auto& [tenant, path] : {std::pair{"", "common"}, {" contoso.example ", "contoso.example"}})
            QTest::addRow("Microsoft, tenant '%s'", tenant)
                << OAuthProvider::Microsoft365 << QString::fromLatin1(tenant)
                << QStringList{ms.arg(path) + "authorize", ms.arg(path) + "token", ms.arg(path) + "devicecode", smtp};
        QTest::newRow("Google") << OAuthProvider::Google << "ignored"
                                << QStringList{"https://accounts.google.com/o/oauth2/v2/auth",
                                               "https://oauth2.googleapis.com/token", "", "https://mail.google.com/"};
        QTest::newRow("Other") << OAuthProvider::Other << "ignored" << QStringList{"", "", "", ""};
    }

    void presets()
    {
        QFETCH(OAuthProvider::Kind, kind);
        QFETCH(QString, tenant);
        QFETCH(QStringList, endpoints);
        const OAuthProvider provider = OAuthProvider::Preset(kind, tenant);
        QCOMPARE(provider.kind, kind);
        const QStringList given{provider.authorizeUrl, provider.tokenUrl, provider.deviceUrl, provider.scope};
        QCOMPARE(given, endpoints);
        QVERIFY(provider.clientId.isEmpty() && provider.clientSecret.isEmpty());
    }

    // The browser sign-in, played to its end; the server checks PKCE, the
    // loopback redirect and that a code is used once.
    void codeFlow_data()
    {
        QTest::addColumn<OAuthProvider::Kind>("kind");
        // The server's mode, or the test's: "forged" answers with another
        // state, "unreachable" has no token endpoint, "cancel" cancels at once.
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("failure"); // empty: granted (or nothing, when cancelled)
        QTest::addColumn<QString>("page");    // what the browser gets on the loopback

        const QString in = QStringLiteral("Corvanta: you are signed in.");
        const QString out = QStringLiteral("Corvanta: the sign-in did not succeed.");
        const QString noToken = QStringLiteral("the provider did not hand out a token: ");
        QTest::newRow("granted") << OAuthProvider::Other << "" << "" << in;
        QTest::newRow("granted, Google asked for a refresh token") << OAuthProvider::Google << "" << "" << in;
        QTest::newRow("answer of another sign-in")
            << OAuthProvider::Other << "forged" << "the provider's answer did not belong to this sign-in" << out;
        QTest::newRow("declined") << OAuthProvider::Other << "deny"
                                  << "the provider refused the sign-in: "
                                     "The user declined: 100% sure + certain (access_denied)"
                                  << out;
        QTest::newRow("code refused") << OAuthProvider::Other << "refuse_exchange"
                                      << noToken + "The code is unknown or was used (invalid_grant)" << in;
        QTest::newRow("token endpoint answers no JSON")
            << OAuthProvider::Other << "garbage" << noToken + "the provider's answer (HTTP 200) could not be read"
            << in;
        QTest::newRow("token endpoint unreachable")
            << OAuthProvider::Other << "unreachable"
            << noToken + "the provider could not be reached: Connection refused" << in;
        QTest::newRow("cancelled: the loopback port is closed")
            << OAuthProvider::Other << "cancel" << "" << "Connection refused";
    }

    void codeFlow()
    {
        QFETCH(OAuthProvider::Kind, kind);
        QFETCH(QString, mode);
        QFETCH(QString, failure);
        QFETCH(QString, page);
        m_server.Control(QStringLiteral("mode=") + mode);
        TestBrowser browser;
        if (mode == QLatin1String("forged"))
            browser.otherState = QStringLiteral("forged");
        m_browser = &browser;
        OAuthProvider provider = m_server.Provider(kind);
        if (mode == QLatin1String("unreachable"))
            provider.tokenUrl = QStringLiteral("http://127.0.0.1:1/token");
        Outcome outcome;
        auto* signIn = new OAuthSignIn;
        outcome.Watch(signIn);
        const auto unfinished = qScopeGuard([signIn = QPointer(signIn)] { delete signIn.data(); });
        signIn->Start(provider);
        const bool cancel = mode == QLatin1String("cancel");
        if (cancel) {
            signIn->Cancel(); // before the browser got anywhere
            QVERIFY(!signIn->IsRunning());
        }
        // The page comes when the answer is in, before the tokens are.
        QTRY_VERIFY(browser.finished || !browser.problem.isEmpty());
        QCOMPARE(browser.problem, QString());
        QVERIFY2(browser.page.contains(page), qPrintable(browser.page));
        // Cancelled: nothing may follow.
        if (cancel)
            QTest::qWait(1000);
        QTRY_VERIFY(outcome.signals > 0 || cancel);
        QCOMPARE(outcome.signals, cancel ? 0 : 1);
        QCOMPARE(outcome.failure, failure);
        const QUrlQuery asked(browser.opened);
        const bool offline = asked.queryItemValue(QStringLiteral("access_type")) == QLatin1String("offline")
                             && asked.queryItemValue(QStringLiteral("prompt")) == QLatin1String("consent");
        QCOMPARE(offline, kind == OAuthProvider::Google);
        if (failure.isEmpty() && !cancel)
            CheckGranted(outcome.grant);
    }

    // The device grant, polled at the server's interval of one second.
    void deviceGrant_data()
    {
        QTest::addColumn<QString>("mode");    // the server's; "none": the provider has no device endpoint
        QTest::addColumn<QString>("control"); // what the user (or the test) does once the code is shown
        QTest::addColumn<QString>("failure"); // empty: granted (or nothing, when cancelled)

        QTest::newRow("approved") << "" << "approve" << "";
        QTest::newRow("approved, page named as Microsoft does") << "verification_url" << "approve" << "";
        QTest::newRow("slow_down honoured") << "slow_down" << "approve" << "";
        QTest::newRow("declined") << "" << "deny" << "the sign-in was declined at the provider";
        QTest::newRow("code expires") << "" << "expires=2"
                                      << "the code expired before the sign-in was completed; start again";
        QTest::newRow("no device endpoint") << "none" << ""
                                            << "the provider offers no sign-in with a code on another device";
        QTest::newRow("cancelled: no more polls") << "" << "cancel" << "";
    }

    void deviceGrant()
    {
        QFETCH(QString, mode);
        QFETCH(QString, control);
        QFETCH(QString, failure);
        const bool expiring = control.startsWith(QLatin1String("expires="));
        const bool cancel = control == QLatin1String("cancel");
        m_server.Control(QStringLiteral("mode=") + mode + (expiring ? u'&' + control : QString()));
        OAuthProvider provider = m_server.Provider();
        if (mode == QLatin1String("none"))
            provider.deviceUrl.clear();
        Outcome outcome;
        auto* signIn = new OAuthSignIn;
        outcome.Watch(signIn);
        const auto unfinished = qScopeGuard([signIn = QPointer(signIn)] { delete signIn.data(); });
        QString userCode;
        QObject::connect(signIn, &OAuthSignIn::DeviceCode, signIn, [&, signIn](const QString& code, const QUrl& where) {
            userCode = code;
            QCOMPARE(where, QUrl(m_server.Url(QStringLiteral("device-page"))));
            if (cancel)
                signIn->Cancel();
            if (!expiring)
                m_server.Control((cancel ? QStringLiteral("approve") : control) + u'=' + code);
        });
        signIn->StartDevice(provider);
        if (cancel)
            QTest::qWait(2500);
        QTRY_VERIFY_WITH_TIMEOUT(outcome.signals > 0 || cancel, 15000);
        QCOMPARE(outcome.signals, cancel ? 0 : 1);
        QCOMPARE(outcome.failure, failure);
        QCOMPARE(userCode.isEmpty(), mode == QLatin1String("none"));
        QCOMPARE(Counter("too_fast"), 0);
        QCOMPARE(Counter("polls") == 0, cancel || mode == QLatin1String("none"));
        if (failure.isEmpty() && !cancel)
            CheckGranted(outcome.grant);
    }

    // A run's tokens: `fetches` asked at once, then once more after those
    // were answered; the server counts the refreshes.
    void session_data()
    {
        QTest::addColumn<QString>("control"); // how the server hands out tokens
        QTest::addColumn<int>("waitMs");      // before the first Fetch
        QTest::addColumn<bool>("refused");    // the first Fetches name the held token as refused
        QTest::addColumn<int>("fetches");
        QTest::addColumn<int>("refreshes");
        QTest::addColumn<QString>("failure"); // empty: a token

        QTest::newRow("held token reused while good") << "life=3600" << 0 << false << 2 << 0 << "";
        // The margin is a quarter of the life: half a second of 2 s, one of 4 s.
        QTest::newRow("near expiry, renewed once for all") << "life=2" << 1600 << false << 3 << 1 << "";
        QTest::newRow("short life still served") << "life=4" << 1000 << false << 1 << 0 << "";
        QTest::newRow("refused token renewed once for all") << "life=3600" << 0 << true << 3 << 1 << "";
        QTest::newRow("rotated refresh token") << "life=3600&rotate=1" << 0 << true << 1 << 1 << "";
        QTest::newRow("revoked") << "life=3600&revoke=1" << 0 << true << 2 << 1
                                 << "the sign-in with the provider was withdrawn or has expired; sign in again in "
                                    "E-mail setup: The refresh token was revoked";
        QTest::newRow("renewal failed, tried again") << "life=3600&mode=garbage" << 0 << true << 1 << 2
                                                     << "the access token could not be renewed: the provider's "
                                                        "answer (HTTP 200) could not be read";
    }

    void session()
    {
        QFETCH(QString, control);
        QFETCH(int, fetches);
        QFETCH(QString, failure);
        QFETCH(int, refreshes);
        const QString issueFirst = control.section(u'&', 0, 0);
        m_server.Control(issueFirst);
        const OAuthGrant initial = IssuedGrant();
        QVERIFY(!initial.accessToken.isEmpty());
        m_server.Control(control);
        OAuthSession session(m_server.Provider(), initial);
        QSignalSpy refreshed(&session, &OAuthSession::Refreshed);
        QFETCH(int, waitMs);
        QTest::qWait(waitMs);
        QFETCH(bool, refused);

        QStringList tokens;
        QStringList failures;
        const auto fetch = [&](const QString& refusedToken) {
            auto returned = std::make_shared<bool>(false);
            session.Fetch(refusedToken, [&, returned](const QString& token, const QString& why) {
                QVERIFY2(*returned, "done ran inside Fetch");
                tokens << token;
                failures << why;
            });
            *returned = true;
        };
        for (int i = 0; i < fetches; ++i)
            fetch(refused ? initial.accessToken : QString());
        QTRY_COMPARE(tokens.size(), fetches);
        fetch(refused ? initial.accessToken : QString()); // once more, with the first round answered
        QTRY_COMPARE(tokens.size(), fetches + 1);

        QCOMPARE(Counter("refreshes"), refreshes);
        QCOMPARE(failures, QStringList(fetches + 1, failure));
        QCOMPARE(session.Revoked(), failure.startsWith(QLatin1String("the sign-in with the provider was withdrawn")));
        QCOMPARE(refreshed.size(), failure.isEmpty() ? refreshes : 0);
        if (!failure.isEmpty()) {
            QCOMPARE(tokens, QStringList(fetches + 1, QString()));
            return;
        }
        QCOMPARE(tokens, QStringList(fetches + 1, tokens.first()));
        QCOMPARE(tokens.first() == initial.accessToken, refreshes == 0);
        QVERIFY(m_server.Active(tokens.first()));
        QCOMPARE(session.Grant().accessToken, tokens.first());
        QCOMPARE(session.Grant().account, QLatin1String(OAuthTestServer::Account));
        const bool rotated = control.contains(QLatin1String("rotate=1"));
        QCOMPARE(session.Grant().refreshToken != initial.refreshToken, rotated);
        if (refreshed.size() > 0)
            QCOMPARE(refreshed.last().at(0).value<OAuthGrant>(), session.Grant());
        if (rotated) { // the replaced refresh token is the one used next
            fetch(tokens.first());
            QTRY_COMPARE(tokens.size(), fetches + 2);
            QCOMPARE(failures.last(), QString());
            QCOMPARE(Counter("refreshes"), refreshes + 1);
        }
    }
};

CORVANTA_TEST_GUILESS_MAIN(tst_OAuth)
#include "tst_OAuth.moc"
