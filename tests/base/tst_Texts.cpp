#include "TestMain.h"
#include "base/AppInfo.h"
#include "base/Texts.h"

#include <QFile>

class TestTexts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tableHasNoDuplicateIdsBrokenLinesOrOpenTokens()
    {
        QFile file(QString::fromLatin1(Texts::TablePath));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const Texts::Table table = Texts::ParseTable(file.readAll());
        QVERIFY2(table.problems.isEmpty(), qPrintable(table.problems.join(u'\n')));
        QVERIFY(!table.texts.isEmpty());
        for (auto it = table.texts.cbegin(); it != table.texts.cend(); ++it)
            QVERIFY2(Texts::HasBalancedTokens(it.value()),
                     qPrintable(QStringLiteral("text %1: %2").arg(it.key()).arg(it.value())));
    }

    void parserAndTokenCheckReportProblems()
    {
        const auto table = Texts::ParseTable("# comment\n1\tone\n\n1\tagain\nnoid\n2\ta\\nb\\\\c\r\n");
        QCOMPARE(table.texts.value(1), QStringLiteral("one"));
        QCOMPARE(table.texts.value(2), QStringLiteral("a\nb\\c"));
        QCOMPARE(table.problems.size(), 2);
        QVERIFY(!Texts::HasBalancedTokens(QStringLiteral("Step #ITEM of #COUNT#")));
        QVERIFY(!Texts::HasBalancedTokens(QStringLiteral("#lower#")));
    }

    // Balloons split at the first and last bar; message boxes break at each.
    void bars()
    {
        const QString text = QStringLiteral("Title|middle|Body");
        QCOMPARE(Texts::BalloonTitle(text), QStringLiteral("Title"));
        QCOMPARE(Texts::BalloonBody(text), QStringLiteral("Body"));
        QCOMPARE(Texts::BalloonTitle(QStringLiteral("whole")), QStringLiteral("whole"));
        QCOMPARE(Texts::BalloonBody(QStringLiteral("whole")), QStringLiteral("whole"));
        QCOMPARE(Texts::BalloonBody(QStringLiteral("Title|")), QString());
        QCOMPARE(Texts::MessageBoxText(QStringLiteral("a|b"), 2), QStringLiteral("a\n\nb"));
        // The save questions use one break per bar, so "||" still leaves an empty line.
        QCOMPARE(Texts::MessageBoxText(QStringLiteral("a||b"), 1), QStringLiteral("a\n\nb"));
        QCOMPARE(Texts::MessageBoxText(QStringLiteral("plain"), 2), QStringLiteral("plain"));
    }

    void appTokensOnlyTouchTheirOwn()
    {
        const QString shown = Texts::ReplaceAppTokens(
            QStringLiteral("#APP_PRODUCTNAME# #APP_MAJOR#.#APP_MINOR# #COUNT# #app_major#"));
        QCOMPARE(shown, QStringLiteral("%1 %2.%3 #COUNT# #app_major#")
                            .arg(AppInfo::ProductName())
                            .arg(AppInfo::Major)
                            .arg(AppInfo::Minor));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestTexts)
#include "tst_Texts.moc"
