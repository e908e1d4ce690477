#include "TestFiles.h"
#include "TestMain.h"
#include "delivery/SendChecks.h"
#include "merge/Mails.h"
#include "platform/recordset/Recordset.h"

#include <QDir>

// The checks before sending, on mails made by the merge engine.
class TestSendChecks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each row: the records' To and Name values (one record per pair), the
    // sender, the attachments, and what is found as "kind:count:first
    // example" in the order of the kinds.
    void findings_data()
    {
        QTest::addColumn<QStringList>("to");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("attachments");
        QTest::addColumn<QStringList>("found");
        const QString ok = QStringLiteral("ann@example.org");
        QTest::newRow("all well, international and named forms")
            << QStringList{QString::fromUtf8("émile@bücher.example"), "Bo <bo@example.org>",
                           "c@[127.0.0.1]", "d.e+f@sub.example.co.uk"}
            << QStringList{"A", "B", "C", "D"} << ok << "" << QStringList{};
        QTest::newRow("a column that holds no addresses")
            << QStringList{"Paris", "ann@", "ann@example", "a..b@example.org", "a@exa_mple.org",
                           "a@1.2.3.4", "a@-x.example", "x@y.example"}
            << QStringList{"A", "B", "C", "D", "E", "F", "G", "H"} << ok << ""
            << QStringList{"0:7:Row 1: Paris"};
        QTest::newRow("the same person twice, in another case")
            << QStringList{"p@example.org", "q@example.org", "P@Example.org", "q@example.org"}
            << QStringList{"A", "B", "C", "D"} << ok << "" << QStringList{"1:2:Row 3: P@Example.org"};
        QTest::newRow("empty or blank names")
            << QStringList{"p@example.org", "q@example.org", "r@example.org"}
            << QStringList{"A", "", "  "} << ok << "" << QStringList{"2:2:Row 2: Name"};
        QTest::newRow("a file gone, one there")
            << QStringList{"p@example.org"} << QStringList{"A"} << ok
            << QDir::homePath() + "/gone.pdf;" + QDir::homePath() + "/there.pdf"
            << QStringList{"3:1:Row 1: " + QDir::homePath() + "/gone.pdf"};
        QTest::newRow("sender not an address")
            << QStringList{"p@example.org", "q@example.org"} << QStringList{"A", "B"}
            << "ann at example.org" << "" << QStringList{"4:1:Row 1: ann at example.org"};
    }
    void findings()
    {
        QFETCH(QStringList, to);
        QFETCH(QStringList, names);
        QFETCH(QString, sender);
        QFETCH(QString, attachments);
        TestSupport::PutFile(QDir::homePath() + "/there.pdf", "x");
        Recordset rs;
        rs.AppendField(QStringLiteral("EMail"), AdoType::VarWChar, 200);
        rs.AppendField(QStringLiteral("Name"), AdoType::VarWChar, 200);
        rs.Open();
        for (int i = 0; i < to.size(); ++i)
            rs.AppendRow({to[i], names[i]});
        Mails mails;
        mails.SetKeepMerging(true);
        // The Name marker in the To text does not count: only what readers see.
        QVERIFY(mails.Merge(rs, QString::fromUtf8("«EMail»"),
                            std::make_shared<const FromAddress>(QStringLiteral("Ann"), sender,
                                                                QString()),
                            QString::fromUtf8("Hi «Name»"), QString::fromUtf8("Dear «Name»"),
                            attachments));
        QStringList found;
        for (const SendFinding& f : SendChecks::Check(mails))
            found << QStringLiteral("%1:%2:%3").arg(f.kind).arg(f.count).arg(f.examples.value(0));
        QTEST(found, "found");
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestSendChecks)
#include "tst_SendChecks.moc"
