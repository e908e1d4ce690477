#include "TestMain.h"

#include "platform/mail/SmtpDotStuffer.h"
#include "platform/mail/SmtpReply.h"

#include <QTest>

namespace {

// The replies in `stream`, fed in pieces of `piece` bytes: "code|status|text" each,
// then "problem: ..." when the stream stopped being SMTP.
QStringList Replies(const QByteArray& stream, qsizetype piece)
{
    SmtpReplyParser parser;
    QStringList seen;
    for (qsizetype at = 0; at < stream.size(); at += piece) {
        parser.Feed(stream.mid(at, piece));
        while (std::optional<SmtpReply> reply = parser.Next())
            seen << QStringLiteral("%1|%2|%3").arg(reply->code).arg(reply->EnhancedStatus(), reply->Text());
    }
    if (!parser.Problem().isEmpty())
        seen << QStringLiteral("problem: ") + parser.Problem();
    return seen;
}

SmtpReply ReplyOf(const QByteArray& text)
{
    SmtpReplyParser parser;
    parser.Feed(text);
    return parser.Next().value_or(SmtpReply());
}

} // namespace

class TestMailSmtpReply : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void repliesAreCutWhereverTheBytesBreak_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("one line") << QByteArray("250 2.0.0 OK\r\n") << QStringList{"250|2.0.0|250 2.0.0 OK"};
        QTest::newRow("several lines, the first status, then another reply")
            << QByteArray("550-5.1.1 <a@example.org>: rejected\r\n550 5.1.2 unknown\r\n354 go on\r\n")
            << QStringList{"550|5.1.1|550-5.1.1 <a@example.org>: rejected\n550 5.1.2 unknown", "354||354 go on"};
        QTest::newRow("no enhanced status")
            << QByteArray("550 4.1.1 class differs\r\n250 2021 was a year\r\n250\r\n250 2.0.0OK\r\n")
            << QStringList{"550||550 4.1.1 class differs", "250||250 2021 was a year", "250||250",
                           "250||250 2.0.0OK"};
        QTest::newRow("bare line feeds, code without text") << QByteArray("250-a\n250\n")
                                                            << QStringList{"250||250-a\n250"};
        QTest::newRow("the last line's code counts") << QByteArray("250-x\r\n451 y\r\n")
                                                     << QStringList{"451||250-x\n451 y"};
        QTest::newRow("unfinished line waits") << QByteArray("250 OK\r\n221 By") << QStringList{"250||250 OK"};
        QTest::newRow("not SMTP") << QByteArray("250 OK\r\nHTTP/1.1 400 Bad\r\n250 later\r\n")
                                  << QStringList{"250||250 OK", "problem: The mail server's reply is not SMTP: HTTP/1.1 400 Bad"};
        QTest::newRow("code glued to its text") << QByteArray("250OK\r\n")
                                                << QStringList{"problem: The mail server's reply is not SMTP: 250OK"};
        QTest::newRow("endless line")
            << QByteArray(SmtpReplyParser::MaxLineLength + 10, 'x')
            << QStringList{QStringLiteral("problem: The mail server sent a line of more than %1 bytes")
                               .arg(SmtpReplyParser::MaxLineLength)};
        QByteArray endless;
        for (int i = 0; i <= SmtpReplyParser::MaxLines; ++i)
            endless += "250-more\r\n";
        QTest::newRow("endless reply")
            << endless
            << QStringList{QStringLiteral("problem: The mail server sent a reply of more than %1 lines")
                               .arg(SmtpReplyParser::MaxLines)};
    }

    void repliesAreCutWhereverTheBytesBreak()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QStringList, expected);
        for (qsizetype piece : {qsizetype(1), qsizetype(2), qsizetype(7), stream.size()})
            QCOMPARE(Replies(stream, std::max<qsizetype>(piece, 1)), expected);
    }

    void ehloExtensions()
    {
        const SmtpExtensions offered(ReplyOf("250-mail.example.org greets you\r\n250-pipelining\r\n"
                                             "250-SIZE 35882577\r\n250-AUTH LOGIN cram-md5\r\n250-AUTH=PLAIN\r\n"
                                             "250 STARTTLS\r\n"));
        QVERIFY(offered.Has("PIPELINING"));
        QVERIFY(offered.Has("STARTTLS"));
        QVERIFY(!offered.Has("MAIL.EXAMPLE.ORG")); // the greeting line is no keyword
        QCOMPARE(offered.SizeLimit(), 35882577);
        QCOMPARE(offered.AuthMechanisms(), QSet<QByteArray>({"LOGIN", "CRAM-MD5", "PLAIN"}));

        const SmtpExtensions bare(ReplyOf("250-x\r\n250 SIZE\r\n"));
        QVERIFY(bare.Has("SIZE"));
        QCOMPARE(bare.SizeLimit(), 0);
        QVERIFY(!bare.Has("AUTH"));
    }

    void dotStuffingSurvivesEverySplit_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("dots at line starts") << QByteArray(".a\r\nb.\r\n..c\r\n.\r\n")
                                             << QByteArray("..a\r\nb.\r\n...c\r\n..\r\n.\r\n");
        QTest::newRow("no line end at the end") << QByteArray("x\r\n.y") << QByteArray("x\r\n..y\r\n.\r\n");
        QTest::newRow("empty") << QByteArray() << QByteArray(".\r\n");
    }

    void dotStuffingSurvivesEverySplit()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, data);
        for (qsizetype split = 0; split <= message.size(); ++split) {
            SmtpDotStuffer stuffer;
            QByteArray out;
            stuffer.Add(message.constData(), split, out);
            stuffer.Add(message.constData() + split, message.size() - split, out);
            stuffer.Finish(out);
            QCOMPARE(out, data);
        }
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestMailSmtpReply)
#include "tst_MailSmtpReply.moc"
