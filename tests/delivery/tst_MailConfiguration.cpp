#include "TestFiles.h"
#include "TestMain.h"
#include "delivery/MailConfiguration.h"
#include "store/PropertyBag.h"
#include "store/StoreFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

using TestSupport::ReadBytes;
using TestSupport::WriteBytes;

QStringList Copies(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("mlcfg.dat.*.bak")}, QDir::Files);
}

} // namespace

class TestMailConfiguration : public QObject
{
    Q_OBJECT

    QTemporaryDir m_temp;
    QString m_folder;

    QString FilePath() const { return m_folder + QStringLiteral("mlcfg.dat"); }

private Q_SLOTS:
    void init()
    {
        static int n = 0;
        m_folder = m_temp.filePath(QStringLiteral("data%1/1.3/").arg(++n));
        MailConfiguration::SetDefaultAccountLookup(
            {[] { return QStringLiteral("smtp.example.org"); }, [] { return QStringLiteral("ann"); }});
    }

    // Reading never creates the file, only Save does.
    void withoutAFileTheAccountFillsIn()
    {
        const MailConfiguration account(QString(), m_folder);
        QVERIFY(QFileInfo(m_folder).isDir());
        QVERIFY(!QFileInfo::exists(FilePath()));
        QVERIFY(!account.LoadProblem());
        QCOMPARE(account.SMTPServer(), QStringLiteral("smtp.example.org"));
        QCOMPARE(account.SMTPUsername(), QStringLiteral("ann"));

        MailConfiguration::SetDefaultAccountLookup(
            {[]() -> QString { throw std::runtime_error("no profile"); },
             []() -> QString { throw AppError(53, QStringLiteral("x"), QStringLiteral("gone")); }});
        const MailConfiguration failing(QString(), m_folder);
        QCOMPARE(failing.SMTPServer(), QString());
        QCOMPARE(failing.SMTPUsername(), QString());
    }

    // The account's server only for network sending without a stored server,
    // its user only with a server; a value of the wrong kind takes its default.
    void defaultsFollowTheLoadOrder_data()
    {
        QTest::addColumn<QVariantMap>("stored"); // texts as text, numbers as 32 bits
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("user");
        QTest::addColumn<int>("port");
        QTest::newRow("pickup") << QVariantMap{{"SendUsingMethod", 1}} << 1 << "" << "" << 25;
        QTest::newRow("no server stored") << QVariantMap{{"SMTPServer", ""}} << 2 << "" << "" << 25;
        QTest::newRow("own server, port of another width")
            << QVariantMap{{"smtpserver", "mail.local"}, {"SMTPServerPort", 2525}} << 2 << "mail.local"
            << "ann" << 2525;
        QTest::newRow("wrong kinds")
            << QVariantMap{{"SendUsingMethod", "1"}, {"SMTPServerPort", 100000}} << 2
            << "smtp.example.org" << "ann" << 25;
    }

    void defaultsFollowTheLoadOrder()
    {
        QFETCH(QVariantMap, stored);
        PropertyBag bag;
        for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
            if (it.value().typeId() == QMetaType::QString)
                bag.WriteText(it.key(), it.value().toString());
            else
                bag.WriteInt32(it.key(), it.value().toInt());
        }
        QDir().mkpath(m_folder);
        StoreFile::Write(FilePath(), bag);
        const MailConfiguration loaded(QString(), m_folder);
        QTEST(int(loaded.SendUsingMethod()), "method");
        QTEST(loaded.SMTPServer(), "server");
        QTEST(loaded.SMTPUsername(), "user");
        QTEST(int(loaded.SMTPServerPort()), "port");
        // Files from before the later settings.
        QCOMPARE(loaded.SMTPMaxConnections(), qint16(4));
        QCOMPARE(loaded.SMTPEncryption(), qint32(MailConfiguration::StartTls));
        QVERIFY(loaded.SMTPRetryTemporary());
        QCOMPARE(loaded.SMTPMaxPerMinute() + loaded.SMTPMaxPerDay(), 0);
    }

    // The delivery settings are filled once, when the configuration is made.
    void savedValuesReachTheDeliverySettings()
    {
        const QString password = QStringLiteral("p\u00E4ss;\"word\U0001F511 ");
        MailConfiguration stored(QString(), m_folder);
        stored.SetSMTPServer(QStringLiteral("mail.example.org"));
        stored.SetSMTPConnectionTimeout(32767);
        stored.SetSMTPServerPort(-1);
        stored.SetSMTPUsername(QStringLiteral("b\u00F6b"));
        stored.SetSMTPPassword(password);
        stored.SetSMTPMaxConnections(1);
        stored.SetSMTPEncryption(MailConfiguration::TlsFromStart);
        stored.SetSMTPCAFile(QStringLiteral("/etc/ssl/company ca.pem"));
        stored.SetSMTPTrustedCertificates(QStringLiteral("mail.example.org ab01\nother.example cd02"));
        stored.SetSMTPRetryTemporary(false);
        stored.SetSMTPMaxPerMinute(30);
        stored.SetSMTPMaxPerDay(10000);
        stored.Save();

        // Without authentication the stored credentials do not travel.
        const MailConfiguration anonymous(QStringLiteral("Ann (ann@example.org)"), m_folder);
        MailDeliverySettings expected;
        expected.sendEmailAddress = QStringLiteral("Ann (ann@example.org)");
        expected.smtpConnectionTimeout = 32767;
        expected.smtpServer = QStringLiteral("mail.example.org");
        expected.smtpServerPort = -1;
        expected.smtpMaxConnections = 1;
        expected.smtpEncryption = MailConfiguration::TlsFromStart;
        expected.smtpCAFile = QStringLiteral("/etc/ssl/company ca.pem");
        expected.smtpTrustedCertificates = QStringLiteral("mail.example.org ab01\nother.example cd02");
        expected.smtpRetryTemporary = false;
        expected.smtpMaxPerMinute = 30;
        expected.smtpMaxPerDay = 10000;
        QCOMPARE(anonymous.CdoConfiguration(), expected);

        stored.SetSMPTAuthenticate(1);
        stored.SetSendUsingMethod(1);
        stored.Save();
        MailConfiguration basic(QStringLiteral("Bob (bob@example.org)"), m_folder);
        expected.sendUsing = MailDeliverySettings::Pickup;
        expected.sendEmailAddress = QStringLiteral("Bob (bob@example.org)");
        expected.smtpAuthenticate = 1;
        expected.sendUserName = QStringLiteral("b\u00F6b");
        expected.sendPassword = password;
        QCOMPARE(basic.CdoConfiguration(), expected);

        // Later changes reach neither the settings in hand nor the file.
        basic.SetSMTPServer(QStringLiteral("other.example.org"));
        basic.SetSMPTAuthenticate(0);
        QCOMPARE(basic.CdoConfiguration(), expected);
        QCOMPARE(MailConfiguration(QString(), m_folder).SMTPServer(), QStringLiteral("mail.example.org"));
    }

    // Damaged: untouched until a save, then kept as a copy. A folder in the
    // way: the save fails and changes nothing.
    void unusableFileIsReported_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<long>("number");
        QTest::addColumn<QString>("warning");
        QTest::newRow("damaged") << false << long(PropertyBag::InvalidFormat) << "could not be read";
        QTest::newRow("a folder") << true << long(StoreFile::FileAccessError) << "cannot be read";
    }

    void unusableFileIsReported()
    {
        QFETCH(bool, folder);
        QFETCH(long, number);
        QFETCH(QString, warning);
        const QByteArray junk("\x11\x20\x01\x00\x05\x00\x00\x00\x00\x00\x00\x00oops!", 17);
        QVERIFY(QDir().mkpath(folder ? FilePath() : m_folder));
        if (!folder)
            WriteBytes(FilePath(), junk);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("mlcfg.dat ") + warning));
        MailConfiguration loaded(QString(), m_folder);
        QVERIFY(loaded.LoadProblem());
        QCOMPARE(loaded.LoadProblem()->Number(), number);
        QVERIFY(loaded.LoadProblem()->Description().contains(FilePath()));
        QCOMPARE(loaded.SMTPServer(), QStringLiteral("smtp.example.org"));
        QVERIFY(Copies(m_folder).isEmpty());

        loaded.SetSMTPServerPort(465);
        if (folder) {
            QVERIFY_THROWS_EXCEPTION(AppError, loaded.Save());
            QVERIFY(QFileInfo(FilePath()).isDir());
            return;
        }
        QCOMPARE(ReadBytes(FilePath()), junk);
        loaded.Save();
        const QStringList copies = Copies(m_folder);
        QCOMPARE(copies.size(), 1);
        QCOMPARE(ReadBytes(m_folder + copies.first()), junk);
        const MailConfiguration repaired(QString(), m_folder);
        QVERIFY(!repaired.LoadProblem());
        QCOMPARE(repaired.SMTPServerPort(), qint16(465));

        // An empty file is a first start, not damage.
        WriteBytes(FilePath(), QByteArray());
        QVERIFY(!MailConfiguration(QString(), m_folder).LoadProblem());
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestMailConfiguration)
#include "tst_MailConfiguration.moc"
