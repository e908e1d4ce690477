#include "TestMain.h"
#include "merge/MergeValueText.h"

#include <QDateTime>

// The text forms under fixed locales given to the formatter; the merge takes
// the user's locale the same way (QLocale::system()).
class TestMergeValueText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void valueTexts_data()
    {
        QTest::addColumn<bool>("german");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("text");
        const auto row = [](const char* tag, bool german, const QVariant& value, const char* text) {
            QTest::newRow(tag) << german << value << QString::fromUtf8(text);
        };
        row("null", false, QVariant(), "");
        row("text as is", false, QStringLiteral(" as is \u00AB "), " as is « ");
        row("boolean", true, true, "True");
        // Numbers without group separators.
        row("integer", true, -1234567, "-1234567");
        row("largest unsigned", false, qulonglong(18446744073709551615ULL), "18446744073709551615");
        row("decimal comma", true, -0.25, "-0,25");
        row("decimal point", false, 1234.5, "1234.5");
        // Fifteen significant digits, as a number typed in would show.
        row("sum of tenths", false, 0.1 + 0.2, "0.3");
        row("whole double", false, 100.0, "100");
        row("large double", false, 1e20, "1E+20");
        // No two-digit years: 1926 and 2026 must not look alike.
        row("US date", false, QDate(1926, 3, 4), "3/4/1926");
        row("German date", true, QDate(2026, 3, 4), "04.03.2026");
        row("US time", false, QTime(14, 5, 9), "2:05:09 PM");
        row("German date and time", true, QDateTime(QDate(2026, 3, 4), QTime(14, 5, 9)),
            "04.03.2026 14:05:09");
        row("midnight is the date alone", false, QDateTime(QDate(2026, 3, 4), QTime(0, 0)),
            "3/4/2026");
        row("day zero is the time alone", false, QDateTime(QDate(1899, 12, 30), QTime(9, 30)),
            "9:30:00 AM");
    }

    void valueTexts()
    {
        QFETCH(bool, german);
        QFETCH(QVariant, value);
        const MergeValueText formatter(german ? QLocale(QLocale::German, QLocale::Germany)
                                              : QLocale(QLocale::English, QLocale::UnitedStates));
        QTEST(formatter.Text(value), "text");
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestMergeValueText)
#include "tst_MergeValueText.moc"
