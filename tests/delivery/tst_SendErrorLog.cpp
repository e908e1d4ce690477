#include "TestMain.h"
#include "delivery/SendErrorLog.h"
#include "merge/Mails.h"

#include <QSignalSpy>

namespace {

FromAddressRef Sender(const QString& name, const QString& reply)
{
    return std::make_shared<const FromAddress>(name, QStringLiteral("ann@example.com"), reply);
}

QList<QStringList> Rows(SendErrorLog& log)
{
    QList<QStringList> rows;
    Recordset& records = log.Records();
    for (records.MoveFirst(); !records.AtEOF(); records.MoveNext()) {
        rows.append(QStringList());
        for (int i = 0; i < records.FieldCount(); ++i)
            rows.last() << records.Value(i).toString();
    }
    return rows;
}

} // namespace

class TestSendErrorLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sendErrBecomesARowInFailureOrder()
    {
        Mails mails;
        SendErrorLog log;
        log.Listen(mails);
        QSignalSpy added(&log, &SendErrorLog::RowAdded);
        Q_EMIT mails.SendErr("550 no such user", "x@example.org", Sender("Ann", "re@example.com"),
                             "Hi", "/a.pdf;/b.txt", "Body\r\n");
        // No sender at all: the From field is left empty.
        Q_EMIT mails.SendErr("421 closing", "y@example.org", FromAddressRef(), "", "", "");
        Q_EMIT mails.SendErr("timeout", "z@example.org", Sender("", ""), "S", "", "B");
        QCOMPARE(added.size(), 3);
        QCOMPARE(added.at(2).at(0).toInt(), 3);
        QCOMPARE(log.Count(), 3);
        QCOMPARE(Rows(log),
                 QList<QStringList>(
                     {{"550 no such user", "x@example.org",
                       "Ann (ann@example.com) (re@example.com)", "Hi", "/a.pdf;/b.txt", "Body\r\n"},
                      {"421 closing", "y@example.org", "", "", "", ""},
                      {"timeout", "z@example.org", "ann@example.com (ann@example.com)", "S", "",
                       "B"}}));

        // After a retry: the row of a mail that went goes, another's reason
        // changes, the rest stay as they were, in order.
        QCOMPARE(log.Revise({{0, QString()}, {2, QStringLiteral("temporary: 451 later")}}),
                 (std::vector<int>{-1, 0, 1}));
        QCOMPARE(Rows(log), QList<QStringList>({{"421 closing", "y@example.org", "", "", "", ""},
                                                {"temporary: 451 later", "z@example.org",
                                                 "ann@example.com (ann@example.com)", "S", "", "B"}}));

        // Texts longer than the fields' declared sizes are kept whole.
        const QString body(100000, u'b');
        const QString to = QStringLiteral("a@example.org;").repeated(400);
        log.Reset();
        Q_EMIT mails.SendErr("refused", to, FromAddressRef(), "", "", body);
        QCOMPARE(Rows(log), QList<QStringList>({{"refused", to, "", "", "", body}}));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestSendErrorLog)
#include "tst_SendErrorLog.moc"
