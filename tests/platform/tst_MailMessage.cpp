#include "SmtpTestMessages.h"
#include "SmtpTestServer.h"
#include "TestMain.h"

#include "platform/mail/MailAddress.h"
#include "platform/mail/MessageBuilder.h"
#include "base/AppError.h"

#include <QBuffer>
#include <QJsonArray>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

// Either the parsed addresses as "name|address" or "error: description".
QStringList Parsed(const QString& text)
{
    try {
        QStringList out;
        for (const MailAddress& address : MailAddresses::ParseList(text, QStringLiteral("To")))
            out << address.name + u'|' + address.address;
        return out;
    } catch (const AppError& error) {
        return {QStringLiteral("error: ") + error.Description()};
    }
}

QString BuildError(const OutgoingMessage& message, long* number = nullptr)
{
    try {
        MessageBuilder(LineEnding::Crlf).Build(message);
        return QString();
    } catch (const AppError& error) {
        if (number)
            *number = error.Number();
        return error.Description();
    }
}

} // namespace

class TestMailMessage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addressLists_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        using list = QStringList;
        QTest::newRow("sender book form") << "\"Jane Doe\" <jane@example.com>" << list{"Jane Doe|jane@example.com"};
        QTest::newRow("bare") << "  jane@example.com " << list{"|jane@example.com"};
        QTest::newRow("escapes and separators in quotes") << "\"Doe; Jane, \\\"JD\\\" D\\\\r.\" <j@example.com>;"
                                                          << list{"Doe; Jane, \"JD\" D\\r.|j@example.com"};
        QTest::newRow("semicolons, commas, empty pieces") << ";a@example.com;; ;b@example.com,c@example.com"
                                                          << list{"|a@example.com", "|b@example.com", "|c@example.com"};
        QTest::newRow("non-ASCII name") << "Jürgen Müller <j@example.com>" << list{"Jürgen Müller|j@example.com"};
        QTest::newRow("encoded word kept literally") << "\"=?utf-8?q?x?=\" <j@example.com>"
                                                     << list{"=?utf-8?q?x?=|j@example.com"};
        QTest::newRow("line break in a name") << "\"Jane\r\nBcc: x@example.com\" <j@example.com>"
                                              << list{"Jane Bcc: x@example.com|j@example.com"};

        QTest::newRow("empty") << "" << list{"error: No e-mail address in To"};
        QTest::newRow("no domain") << "x@" << list{"error: Invalid e-mail address in To: \"x@\""};
        QTest::newRow("blank inside") << "a b@example.com" << list{"error: Invalid e-mail address in To: \"a b@example.com\""};
        QTest::newRow("command smuggled in") << "a@example.com\r\nRCPT TO:b@example.com"
                                             << list{"error: Invalid e-mail address in To: \"a@example.com\r\nRCPT TO:b@example.com\""};
        QTest::newRow("text after angle") << "<j@example.com> Jane" << list{"error: Invalid e-mail address in To: \"<j@example.com> Jane\""};
        QTest::newRow("unclosed quote") << "\"Jane <j@example.com>" << list{"error: Invalid e-mail address in To: \"\"Jane <j@example.com>\""};
        QTest::newRow("one bad among good") << "a@example.com; oops" << list{"error: Invalid e-mail address in To: \"oops\""};
    }

    void addressLists()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        QCOMPARE(Parsed(text), expected);
    }

    void existingAttachmentsOnly()
    {
        QTemporaryDir dir;
        const QString first = WriteFile(dir.filePath(QStringLiteral("one.txt")), "1");
        QCOMPARE(ExistingAttachments(QString()), QStringList());
        const QString missing = dir.filePath(QStringLiteral("missing.txt"));
        QCOMPARE(ExistingAttachments(u';' + missing + u';' + first + QStringLiteral(";;")), QStringList{first});
    }

    void badPartsAreThisMailsError()
    {
        OutgoingMessage mail = SmallMail(QStringLiteral("a@example.org"));
        long number = 0;
        mail.from.clear();
        QCOMPARE(BuildError(mail, &number), QStringLiteral("No e-mail address in From"));
        QCOMPARE(number, MailError::InvalidArgument);
        mail.from = QStringLiteral("a@example.com; b@example.com");
        QCOMPARE(BuildError(mail), QStringLiteral("From must hold exactly one e-mail address: \"%1\"").arg(mail.from));
        mail = SmallMail(QStringLiteral("a@example.org"));
        mail.replyTo = QStringLiteral("reply at example");
        QCOMPARE(BuildError(mail), QStringLiteral("Invalid e-mail address in Reply-To: \"reply at example\""));

        // Attachments that cannot be read: a folder, a FIFO (must not block), gone, locked.
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString locked = WriteFile(dir.filePath(QStringLiteral("locked.txt")), "secret");
        QFile::setPermissions(locked, QFileDevice::Permissions());
        for (const QString& path : {dir.path(), fifo, dir.filePath(QStringLiteral("gone.txt")), locked}) {
            if (path == locked && ::geteuid() == 0)
                continue; // root reads it anyway
            mail = SmallMail(QStringLiteral("a@example.org"));
            mail.attachments = {path};
            const QString error = BuildError(mail, &number);
            QVERIFY2(error.startsWith(QStringLiteral("The attachment \"%1\" ").arg(path)), qPrintable(error));
            QCOMPARE(number, MailError::FileAccess);
        }
    }

    void fileAndMemoryGiveTheSameMessage()
    {
        QTemporaryDir dir;
        const SampleMail mail = RichMail(dir.path());
        PreparedMessage inMemory = MessageBuilder(LineEnding::Crlf).Build(mail.message);
        PreparedMessage inFile = MessageBuilder(LineEnding::Crlf, 1024).Build(mail.message);
        QVERIFY(inMemory.InMemory() && !inFile.InMemory());
        QCOMPARE(inFile.Recipients(), (QStringList{QStringLiteral("zoe@example.org"),
                                                   QStringLiteral("plain@example.org"),
                                                   QStringLiteral("jane@example.net")}));
        QCOMPARE(inFile.Sender(), QStringLiteral("juergen@example.com"));

        // Read in odd pieces, then again after a seek back, as curl may.
        QByteArray pieces;
        char buffer[1000];
        qint64 got;
        while ((got = inFile.Read(buffer, sizeof buffer)) > 0)
            pieces.append(buffer, got);
        QCOMPARE(got, 0);
        QCOMPARE(pieces.size(), inFile.Size());
        QVERIFY(inFile.Seek(0));
        QCOMPARE(inFile.ReadAll(), pieces);
        QVERIFY(!inFile.Seek(inFile.Size() + 1));

        // Line feeds only, for sendmail programs and files.
        QBuffer lf;
        lf.open(QIODevice::WriteOnly);
        MessageBuilder(LineEnding::Lf).Write(mail.message, lf);
        QVERIFY(!lf.data().contains('\r'));
        for (const QByteArray& bytes : {inMemory.ReadAll(), pieces, lf.data()})
            CORVANTA_VERIFY_READS_AS_SENT(
                mail, InspectMessage(WriteFile(dir.filePath(QStringLiteral("out.eml")), bytes)));
    }

    // Odd subjects and bodies read back as written; a line break in a
    // header value cannot start a header of its own.
    void readBackAsWritten_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("subjectRead");
        const QString body = QStringLiteral("Short body.\n");
        QTest::newRow("encoded-word look-alike")
            << "Price =?ISO-8859-1?Q?a?= 100% =?" << body << "Price =?ISO-8859-1?Q?a?= 100% =?";
        QTest::newRow("look-alike and umlauts") << "Grüße =?utf-8?q?x?=" << body << "Grüße =?utf-8?q?x?=";
        QTest::newRow("one long word") << QString(1200, u'w') << body << QString(1200, u'w');
        QTest::newRow("header smuggled in")
            << "Hi\r\nBcc: victim@example.com\nX-Evil: 1" << body << "Hi Bcc: victim@example.com X-Evil: 1";
        QTest::newRow("empty") << "" << QString() << "";
        QTest::newRow("no final line break") << "Hello" << "one\ntwo" << "Hello";
        QTest::newRow("CRLF and lone CR") << "Hello" << "one\r\ntwo\rthree\r\n" << "Hello";
        QTest::newRow("long ASCII line, nothing else") << "Hello" << QString(5000, u'x') << "Hello";
        QTest::newRow("non-Latin") << "Hello" << "Привет, 世界 🙂\n" << "Hello";
    }

    void readBackAsWritten()
    {
        QFETCH(QString, subject);
        QFETCH(QString, body);
        QFETCH(QString, subjectRead);
        QTemporaryDir dir;
        SampleMail mail = SmallSample(QStringLiteral("a@example.org"));
        mail.message.subject = subject;
        mail.message.body = body;
        mail.message.mailer = QStringLiteral("Mailer\r\nBcc: other@example.com");
        SampleMail expected = mail;
        expected.message.subject = subjectRead;
        expected.message.mailer = QStringLiteral("Mailer Bcc: other@example.com");
        // Every kind of line end arrives as a line feed.
        expected.message.body = body.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
        const QByteArray bytes = MessageBuilder(LineEnding::Crlf).Build(mail.message).ReadAll();
        const QJsonObject read = InspectMessage(WriteFile(dir.filePath(QStringLiteral("m.eml")), bytes));
        CORVANTA_VERIFY_READS_AS_SENT(expected, read);
        const QJsonArray names = read.value(QStringLiteral("header_names")).toArray();
        QVERIFY(!names.contains(QStringLiteral("Bcc")) && !names.contains(QStringLiteral("X-Evil")));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestMailMessage)
#include "tst_MailMessage.moc"
