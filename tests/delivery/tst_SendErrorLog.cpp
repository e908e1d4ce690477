#include "TestMain.h"

#include "delivery/SendErrorLog.h"
#include "merge/Mails.h"

#include <QSignalSpy>

namespace {

FromAddressRef Sender(const QString& name, const QString& reply)
{
    return std::make_shared<const FromAddress>(name, QStringLiteral("ann@example.com"), reply);
}

QVariantList Row(Recordset& rows)
{
    QVariantList values;
    for (int i = 0; i < rows.FieldCount(); ++i)
        values << rows.Value(i);
    return values;
}

} // namespace

class TestSendErrorLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sixTextFields()
    {
        SendErrorLog log;
        const Recordset& rows = log.Records();
        QCOMPARE(rows.State(), int(Recordset::StateOpen));
        QStringList names;
        for (int i = 0; i < rows.FieldCount(); ++i) {
            names << rows.FieldAt(i).Name;
            QCOMPARE(rows.FieldAt(i).Type, int(AdoType::VarChar));
        }
        QCOMPARE(names, (QStringList{"Description", "To", "From", "Subject", "Attachments", "Body"}));
        QCOMPARE(rows.FieldAt(5).DefinedSize, qint64(64000));
        QCOMPARE(log.Count(), 0);
        QVERIFY(rows.AtEOF());
    }

    void sendErrBecomesARowInFailureOrder()
    {
        Mails mails;
        SendErrorLog log;
        log.Listen(mails);
        QSignalSpy added(&log, &SendErrorLog::RowAdded);

        Q_EMIT mails.SendErr(QStringLiteral("550 no such user"), QStringLiteral("x@example.org"),
                             Sender(QStringLiteral("Ann"), QStringLiteral("re@example.com")),
                             QStringLiteral("Hi"), QStringLiteral("/a.pdf;/b.txt"), QStringLiteral("Body\r\n"));
        // No sender at all: the From field is left empty.
        Q_EMIT mails.SendErr(QStringLiteral("421 closing"), QStringLiteral("y@example.org"), FromAddressRef(),
                             QString(), QString(), QString());
        Q_EMIT mails.SendErr(QStringLiteral("timeout"), QStringLiteral("z@example.org"),
                             Sender(QString(), QString()), QStringLiteral("S"), QString(), QStringLiteral("B"));

        QCOMPARE(added.size(), 3);
        QCOMPARE(added.at(2).at(0).toInt(), 3);
        QCOMPARE(log.Count(), 3);
        Recordset& rows = log.Records();
        rows.MoveFirst();
        QCOMPARE(Row(rows), QVariantList({QStringLiteral("550 no such user"), QStringLiteral("x@example.org"),
                                          QStringLiteral("Ann (ann@example.com) (re@example.com)"),
                                          QStringLiteral("Hi"), QStringLiteral("/a.pdf;/b.txt"),
                                          QStringLiteral("Body\r\n")}));
        rows.MoveNext();
        QCOMPARE(Row(rows), QVariantList({QStringLiteral("421 closing"), QStringLiteral("y@example.org"), QString(),
                                          QString(), QString(), QString()}));
        rows.MoveNext();
        QCOMPARE(rows.Value(2).toString(), QStringLiteral("ann@example.com (ann@example.com)"));
    }

    void longTextsAreKeptWhole()
    {
        SendErrorLog log;
        const QString body(100000, u'b');
        const QString to = QStringLiteral("a@example.org;").repeated(400); // over 4000 characters
        log.Add(QStringLiteral("refused"), to, FromAddressRef(), QString(), QString(), body);
        log.Records().MoveFirst();
        QCOMPARE(log.Records().Value(1).toString(), to);
        QCOMPARE(log.Records().Value(5).toString(), body);
    }

    void resetStartsAnEmptyLog()
    {
        Mails mails;
        SendErrorLog log;
        log.Listen(mails);
        Q_EMIT mails.SendErr(QStringLiteral("e"), QStringLiteral("t"), FromAddressRef(), QString(), QString(),
                             QString());
        QCOMPARE(log.Count(), 1);
        log.Reset();
        QCOMPARE(log.Count(), 0);
        QCOMPARE(log.Records().FieldCount(), 6);
        // Still listening after the reset.
        Q_EMIT mails.SendErr(QStringLiteral("e2"), QStringLiteral("t2"), FromAddressRef(), QString(), QString(),
                             QString());
        QCOMPARE(log.Count(), 1);
        log.Records().MoveFirst();
        QCOMPARE(log.Records().Value(0).toString(), QStringLiteral("e2"));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestSendErrorLog)
#include "tst_SendErrorLog.moc"
