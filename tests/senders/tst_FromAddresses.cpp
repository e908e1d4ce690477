#include "RecordsetProbe.h"
#include "TestMain.h"
#include "senders/FromAddresses.h"
#include "base/AppError.h"

class TestFromAddresses : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void displayForms_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("full");
        QTest::addColumn<QString>("preview");

        QTest::newRow("name")
            << "Jo Hansen" << "" << "\"Jo Hansen\" <jo@example.org>" << "Jo Hansen (jo@example.org)";
        QTest::newRow("no name")
            << "" << "" << "jo@example.org" << "jo@example.org (jo@example.org)";
        QTest::newRow("no name, reply")
            << "" << "help@example.org" << "jo@example.org"
            << "jo@example.org (jo@example.org) (help@example.org)";
        QTest::newRow("non-ASCII unchanged")
            << QStringLiteral("Søren Ærø 日本") << "" << QStringLiteral("\"Søren Ærø 日本\" <jo@example.org>")
            << QStringLiteral("Søren Ærø 日本 (jo@example.org)");
        // Inside the header's quotes a quote or backslash must be escaped, or
        // the name ends early and the rest reads as more addresses. The
        // preview is plain display text and shows the name as typed.
        QTest::newRow("quotes escaped in the header only")
            << "Jo \"The Boss\" Hansen" << "" << "\"Jo \\\"The Boss\\\" Hansen\" <jo@example.org>"
            << "Jo \"The Boss\" Hansen (jo@example.org)";
        QTest::newRow("quote and comma cannot add an address")
            << "x\", evil@example.net, \"y" << "" << "\"x\\\", evil@example.net, \\\"y\" <jo@example.org>"
            << "x\", evil@example.net, \"y (jo@example.org)";
        QTest::newRow("backslash escaped")
            << "A\\B" << "" << "\"A\\\\B\" <jo@example.org>" << "A\\B (jo@example.org)";
        QTest::newRow("line break cannot start a header")
            << "Jo\r\nBcc: all@example.net" << "" << "\"Jo  Bcc: all@example.net\" <jo@example.org>"
            << "Jo\r\nBcc: all@example.net (jo@example.org)";
        QTest::newRow("blank name is still a name")
            << " " << "" << "\" \" <jo@example.org>" << "  (jo@example.org)";
    }

    void displayForms()
    {
        QFETCH(QString, name);
        QFETCH(QString, reply);
        const FromAddress sender(name, QStringLiteral("jo@example.org"), reply);
        QTEST(sender.GetFullEMailAddress(), "full");
        QTEST(sender.GetPreviewEMailAddress(), "preview");
    }

    // Addressed from 1: adding keeps the order, removing shifts the later
    // ones up, and a position outside 1..Count is error 9 and changes nothing.
    void oneBasedAddressing()
    {
        FromAddresses book;
        QVERIFY_THROWS_EXCEPTION(AppError, book.Item(1));
        book.Add(QStringLiteral("A"), QStringLiteral("a@x.org"), QString());
        book.Add(QString(), QStringLiteral("b@x.org"), QStringLiteral("r@x.org"));
        book.Add(QString(), QStringLiteral("c@x.org"), QString());
        QCOMPARE(book.Item(2), FromAddress(QString(), QStringLiteral("b@x.org"), QStringLiteral("r@x.org")));
        book.Remove(2);
        for (int index : {0, -1, 3}) {
            const auto error = TestSupport::ErrorOf([&] { book.Remove(index); });
            QVERIFY(error);
            QCOMPARE(error->Number(), 9L);
            QCOMPARE(error->Source(), QStringLiteral("FromAddresses"));
            QVERIFY_THROWS_EXCEPTION(AppError, book.Item(index));
        }
        QStringList shown;
        for (const FromAddress& sender : book)
            shown << sender.GetPreviewEMailAddress();
        QCOMPARE(shown, QStringList({"A (a@x.org)", "c@x.org (c@x.org)"}));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestFromAddresses)
#include "tst_FromAddresses.moc"
