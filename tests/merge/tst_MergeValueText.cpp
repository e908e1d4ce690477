#include "TestMain.h"
#include "merge/MergeValueText.h"

#include <QDateTime>

// The text forms are checked under fixed locales given to the formatter; the
// merge takes the user's locale the same way (QLocale::system()).
class TestMergeValueText : public QObject
{
    Q_OBJECT

    const MergeValueText us{QLocale(QLocale::English, QLocale::UnitedStates)};
    const MergeValueText de{QLocale(QLocale::German, QLocale::Germany)};

private Q_SLOTS:
    void nullTextAndBooleans()
    {
        QCOMPARE(us.Text(QVariant()), QString());
        QCOMPARE(us.Text(QVariant(QString())), QString());
        QCOMPARE(us.Text(QStringLiteral(" as is \u00AB ")), QStringLiteral(" as is \u00AB "));
        QCOMPARE(de.Text(true), QStringLiteral("True"));
        QCOMPARE(de.Text(false), QStringLiteral("False"));
    }

    void numbersWithoutGroupSeparators()
    {
        QCOMPARE(us.Text(-1234567), QStringLiteral("-1234567"));
        QCOMPARE(de.Text(-1234567), QStringLiteral("-1234567"));
        QCOMPARE(us.Text(qlonglong(9223372036854775807LL)), QStringLiteral("9223372036854775807"));
        QCOMPARE(us.Text(qulonglong(18446744073709551615ULL)), QStringLiteral("18446744073709551615"));
        QCOMPARE(us.Text(1234.5), QStringLiteral("1234.5"));
        QCOMPARE(de.Text(1234.5), QStringLiteral("1234,5"));
        QCOMPARE(de.Text(-0.25), QStringLiteral("-0,25"));
        // Fifteen significant digits, as a number typed in would show.
        QCOMPARE(us.Text(0.1 + 0.2), QStringLiteral("0.3"));
        QCOMPARE(us.Text(100.0), QStringLiteral("100"));
        QCOMPARE(us.Text(1e20), QStringLiteral("1E+20"));
    }

    void datesAndTimes()
    {
        QCOMPARE(us.Text(QDate(2026, 3, 4)), QStringLiteral("3/4/2026"));
        QCOMPARE(de.Text(QDate(2026, 3, 4)), QStringLiteral("04.03.2026"));
        // No two-digit years: 1926 and 2026 must not look alike.
        QCOMPARE(us.Text(QDate(1926, 3, 4)), QStringLiteral("3/4/1926"));
        QCOMPARE(us.Text(QTime(14, 5, 9)), QStringLiteral("2:05:09 PM"));
        QCOMPARE(de.Text(QTime(14, 5, 9)), QStringLiteral("14:05:09"));
        QCOMPARE(de.Text(QDateTime(QDate(2026, 3, 4), QTime(14, 5, 9))), QStringLiteral("04.03.2026 14:05:09"));
        QCOMPARE(us.Text(QDateTime(QDate(2026, 3, 4), QTime(0, 0))), QStringLiteral("3/4/2026"));
        QCOMPARE(us.Text(QDateTime(QDate(1899, 12, 30), QTime(9, 30))), QStringLiteral("9:30:00 AM"));
    }

    void formatsTakenFromTheLocale()
    {
        QCOMPARE(us.DateFormat(), QStringLiteral("M/d/yyyy"));
        QCOMPARE(us.TimeFormat(), QStringLiteral("h:mm:ss AP"));
        // A four-digit year stays as it is; the time zone is dropped.
        const MergeValueText fr{QLocale(QLocale::French, QLocale::France)};
        QCOMPARE(fr.DateFormat(), QStringLiteral("dd/MM/yyyy"));
        QCOMPARE(fr.TimeFormat(), QStringLiteral("HH:mm:ss"));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestMergeValueText)
#include "tst_MergeValueText.moc"
