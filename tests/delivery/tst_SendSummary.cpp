#include "TestMain.h"
#include "base/Texts.h"
#include "delivery/SendSummary.h"

#include <QRegularExpression>

class TestSendSummary : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void elapsedTime_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("same second")
            << 5 << qint64(0) << "5 e-mails were send in less than 1 second";
        QTest::newRow("two minutes") << 7 << qint64(120) << "7 e-mails were send in 2 minutes";
        QTest::newRow("1:02:05") << 50 << qint64(3725)
                                 << "50 e-mails were send in 1 hour 2 minutes and 5 seconds";
        QTest::newRow("an hour") << 1 << qint64(3600) << "1 e-mails were send in 1 hour";
        QTest::newRow("two days stay hours")
            << 0 << qint64(2 * 86400 + 1) << "0 e-mails were send in 48 hours and 1 second";
    }
    void elapsedTime()
    {
        QFETCH(int, count);
        QFETCH(qint64, seconds);
        QTEST(SendSummary::Text(count, seconds), "text");
    }

    // Each mix names exactly the parts present, in singular or plural.
    void everyMixNamesItsParts()
    {
        const char* units[] = {"HOUR", "MINUTE", "SECOND"};
        QSet<int> ids;
        for (int h = 0; h < 3; ++h)
            for (int m = 0; m < 3; ++m)
                for (int s = 0; s < 3; ++s) {
                    const int id = SendSummary::TextId(h, m, s);
                    ids.insert(id);
                    const QString text = LoadResString(id);
                    const int parts[] = {h, m, s};
                    for (int u = 0; u < 3; ++u) {
                        const QString unit = QString::fromLatin1(units[u]);
                        const QRegularExpression named(
                            QStringLiteral("#%1# %2(s?)\\b").arg(unit, unit.toLower()));
                        const QRegularExpressionMatch match = named.match(text);
                        QVERIFY2(match.hasMatch() == (parts[u] > 0), qPrintable(text));
                        if (match.hasMatch())
                            QVERIFY2(match.captured(1).isEmpty() == (parts[u] == 1),
                                     qPrintable(text));
                    }
                }
        QCOMPARE(ids.size(), 27);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestSendSummary)
#include "tst_SendSummary.moc"
