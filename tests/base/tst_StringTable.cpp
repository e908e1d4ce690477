#include "TestMain.h"
#include "base/Texts.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <initializer_list>
#include <utility>

namespace {

using IdRanges = std::initializer_list<std::pair<int, int>>;

QList<int> Ids(IdRanges ranges)
{
    QList<int> ids;
    for (const auto& [first, last] : ranges)
        for (int id = first; id <= last; ++id)
            ids << id;
    return ids;
}

const QMap<int, QString>& Table()
{
    static const QMap<int, QString> texts = [] {
        QFile file(QString::fromLatin1(Texts::TablePath));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("string table missing");
        return Texts::ParseTable(file.readAll()).texts;
    }();
    return texts;
}

// One block of ids per area of the program, with the ids that the windows and
// messages of that area actually show. Gaps are ids that nothing shows.
struct Area
{
    const char* name;
    int first;
    int last;
    QList<int> shown;
};

const QList<Area>& Areas()
{
    static const QList<Area> areas = {
        {"shared words", 0, 8, Ids({{0, 8}})},
        {"start-up", 50, 53, Ids({{50, 53}})},
        {"main window", 100, 182, Ids({{100, 162}, {164, 182}})},
        {"main menu", 200, 212, Ids({{200, 209}, {211, 212}})},
        {"mail setup", 300, 316, Ids({{300, 316}})},
        {"recipients messages", 401, 404, Ids({{401, 404}})},
        {"filter dialog", 500, 514, Ids({{500, 514}})},
        {"address column check", 601, 601, Ids({{601, 601}})},
        {"sender entry dialog", 700, 706, Ids({{700, 706}})},
        {"smtp service manager", 800, 816, Ids({{800, 816}})},
        {"merging progress", 900, 902, Ids({{900, 902}})},
        {"sending progress", 1000, 1002, Ids({{1000, 1002}})},
        {"test e-mail wizard", 1100, 1122, Ids({{1100, 1122}})},
        {"new list wizard", 1200, 2408,
         Ids({{1200, 1200}, {1301, 1303}, {1401, 1411}, {1501, 1504}, {1601, 1608}, {1701, 1711},
              {1801, 1802}, {1901, 1902}, {2001, 2006}, {2101, 2106}, {2201, 2208}, {2301, 2310},
              {2401, 2408}})},
        {"compose panel", 2501, 2506, Ids({{2501, 2506}})},
        {"preview panel", 2601, 2613, Ids({{2601, 2613}})},
        {"recipients panel", 2701, 2716, Ids({{2702, 2716}})},
        {"send panel", 2801, 2814,
         Ids({{2801, 2802}, {2804, 2805}, {2807, 2808}, {2810, 2811}, {2813, 2813}})},
        {"step bar", 2901, 2907, Ids({{2901, 2907}})},
        {"sender book", 3000, 3007, Ids({{3000, 3007}})},
        {"send confirmation", 3200, 3206, Ids({{3200, 3201}, {3203, 3203}, {3206, 3206}})},
        {"about box", 3300, 3303, Ids({{3300, 3303}})},
        {"text export", 3500, 3511, Ids({{3500, 3511}})},
    };
    return areas;
}

// Texts made of a headline and a detail joined by "|": balloons and the
// message boxes that turn the bar into line breaks.
const QList<int>& TwoPartTexts()
{
    static const QList<int> ids = {
        52,   108,  109,  110,  111,  112,  113,  114,  159,  160,  179,  181,  301,  302,  303,
        304,  315,  316,  401,  402,  403,  404,  501,  601,  701,  1117, 1118, 1303, 1409, 1410,
        1504, 1604, 1605, 1606, 1709, 1710, 2006, 2106, 2208, 2309, 2310, 2407, 2408};
    return ids;
}

} // namespace

class TestStringTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyAreaHoldsTheTextsItShows_data()
    {
        QTest::addColumn<int>("area");
        for (int i = 0; i < Areas().size(); ++i)
            QTest::newRow(Areas()[i].name) << i;
    }

    void everyAreaHoldsTheTextsItShows()
    {
        QFETCH(int, area);
        for (int id : Areas()[area].shown)
            QVERIFY2(!Table().value(id).isEmpty(), qPrintable(QStringLiteral("id %1 missing").arg(id)));
    }

    void noIdStraysOutsideItsArea()
    {
        // A mistyped id (2071 for 2701) would land outside every block.
        for (int id : Table().keys()) {
            bool inside = false;
            for (const Area& area : Areas())
                inside = inside || (id >= area.first && id <= area.last);
            QVERIFY2(inside, qPrintable(QStringLiteral("id %1 belongs to no area").arg(id)));
        }
    }

    void textsEasyToGetWrong_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        auto row = [](int id, const char* text) {
            QTest::addRow("%d", id) << id << QString::fromUtf8(text);
        };
        // Spelling as the program has always shown it.
        row(5, "An error occured");
        row(113, "An error occurred|Could not overwrite file");
        row(50, "An instance of #APP_PRODUCTNAME# #APP_MAJOR#.#APP_MINOR# is allready running");
        row(131, "#COUNT# e-mails were send in less than 1 second");
        row(1106, "Errors occured while sendig");
        // Near twins that differ in one detail.
        row(1403, "Browse...");
        row(1703, "B&rowse...");
        row(1409, "A valid Filename is required|Please enter a full path and Filename or click the Browse button");
        row(1709, "A valid Filename is required|Please enter a full path and Filename or click the browse button");
        // Doubled bars and tokens.
        row(179, "Your E-mail Message has changed||Would you like to save your E-mail Message before exiting?");
        row(3203, "#CRLF##CRLF#To send the #COUNT# e-mails click Send E-mails");
        row(157, "#ERRCOUNT# of #COUNT# e-mails did not reach the destination");
        // Mnemonics in unusual places.
        row(1, "< &Previous");
        row(2207, "Microsoft O&utlook Contacts");
    }

    void textsEasyToGetWrong()
    {
        QFETCH(int, id);
        QFETCH(QString, text);
        QCOMPARE(Table().value(id), text);
    }

    void everyTextIsWellFormed()
    {
        static const QSet<QString> knownTokens = {
            "APP_PRODUCTNAME", "APP_MAJOR", "APP_MINOR", "COUNT", "ITEM", "MAX", "ERRCOUNT",
            "HOUR", "MINUTE", "SECOND", "YEAR", "MONTH", "DAY", "TAB", "CRLF"};
        static const QRegularExpression token(QStringLiteral("#([A-Z][A-Z0-9_]*)#"));
        const QSet<int> twoPart(TwoPartTexts().cbegin(), TwoPartTexts().cend());
        for (auto it = Table().cbegin(); it != Table().cend(); ++it) {
            const QString& text = it.value();
            const QByteArray where = QStringLiteral("text %1: [%2]").arg(it.key()).arg(text).toUtf8();
            // Blanks the windows need are added by the code, so any here is a slip.
            QVERIFY2(text.trimmed() == text, where);
            QVERIFY2(!text.contains(u'\n') && !text.contains(u'\r') && !text.contains(u'\t'), where);
            auto matches = token.globalMatch(text);
            while (matches.hasNext())
                QVERIFY2(knownTokens.contains(matches.next().captured(1)), where);
            // One "&" at most, and it must mark a letter or digit.
            const qsizetype amp = text.indexOf(u'&');
            if (amp >= 0) {
                QVERIFY2(text.count(u'&') == 1, where);
                QVERIFY2(amp + 1 < text.size() && text[amp + 1].isLetterOrNumber(), where);
            }
            // Only headline-and-detail texts hold a bar. The save questions
            // break once per bar and need "||"; the others break twice.
            QCOMPARE(twoPart.contains(it.key()), text.contains(u'|'));
            if (twoPart.contains(it.key())) {
                const bool saveQuestion = it.key() == 179 || it.key() == 181;
                QVERIFY2(text.count(u'|') == (saveQuestion ? 2 : 1), where);
                const QString title = Texts::BalloonTitle(text);
                const QString body = Texts::BalloonBody(text);
                QVERIFY2(!title.isEmpty() && title.trimmed() == title, where);
                QVERIFY2(!body.isEmpty() && body.trimmed() == body, where);
            }
        }
    }

    void textsCarryTheTokensTheirCodeFills_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QStringList>("tokens");
        for (int id : {50, 51, 52, 53})
            QTest::addRow("%d", id) << id << QStringList{"#APP_PRODUCTNAME#", "#APP_MAJOR#", "#APP_MINOR#"};
        QTest::newRow("157") << 157 << QStringList{"#ERRCOUNT#", "#COUNT#"};
        QTest::newRow("160") << 160 << QStringList{"#TAB#"};
        QTest::newRow("902") << 902 << QStringList{"#ITEM#", "#MAX#"};
        QTest::newRow("1002") << 1002 << QStringList{"#ITEM#", "#MAX#"};
        QTest::newRow("1121") << 1121
                              << QStringList{"#YEAR#", "#MONTH#", "#DAY#", "#HOUR#", "#MINUTE#",
                                             "#APP_PRODUCTNAME#"};
        QTest::newRow("2607") << 2607 << QStringList{"#ITEM#", "#COUNT#"};
        QTest::newRow("2907") << 2907 << QStringList{"#ITEM#", "#COUNT#"};
    }

    void textsCarryTheTokensTheirCodeFills()
    {
        QFETCH(int, id);
        QFETCH(QStringList, tokens);
        for (const QString& token : tokens)
            QVERIFY2(Table().value(id).contains(token), qPrintable(token));
        if (id >= 50 && id <= 53)
            QVERIFY(!Texts::ReplaceAppTokens(Table().value(id)).contains(u'#'));
    }

    // Each summary sentence is picked by whether the hours, minutes and seconds
    // are zero, one or more; a swapped id would say "1 hours" or drop a part.
    void summarySentencesFitTheirTimeParts()
    {
        const int n = 2;
        const int rows[][4] = {
            {132, 1, 0, 0}, {164, n, 0, 0}, {133, 0, 1, 0}, {134, 0, n, 0}, {135, 0, 0, 1},
            {136, 0, 0, n}, {137, 1, 1, 0}, {138, n, n, 0}, {139, n, 1, 0}, {140, 1, n, 0},
            {141, 1, 0, 1}, {142, n, 0, n}, {143, n, 0, 1}, {144, 1, 0, n}, {145, 0, 1, 1},
            {146, 0, n, n}, {147, 0, n, 1}, {148, 0, 1, n}, {149, 1, 1, 1}, {150, n, 1, 1},
            {151, 1, n, 1}, {152, 1, 1, n}, {153, n, n, 1}, {154, n, 1, n}, {155, 1, n, n},
            {156, n, n, n}};
        for (const auto& r : rows) {
            QString text = Table().value(r[0]);
            QVERIFY2(text.startsWith(QStringLiteral("#COUNT# e-mails were send in #")), qPrintable(text));
            const char* units[] = {"HOUR", "MINUTE", "SECOND"};
            for (int p = 0; p < 3; ++p)
                text.replace(QStringLiteral("#%1#").arg(QLatin1String(units[p])), QString::number(r[p + 1]));
            for (int p = 0; p < 3; ++p) {
                const QString word = QString::fromLatin1(units[p]).toLower();
                const int count = r[p + 1];
                if (count == 0)
                    QVERIFY2(!text.contains(word), qPrintable(text));
                else
                    QVERIFY2(text.contains(QRegularExpression(
                                 count == 1 ? QStringLiteral("\\b1 %1\\b").arg(word)
                                            : QStringLiteral("\\b%1 %2s\\b").arg(count).arg(word))),
                             qPrintable(text));
            }
        }
    }

    void textsThatNameTheSameThingAgree()
    {
        // The step bar names the steps by their tab captions.
        QCOMPARE(Table().value(2903), Table().value(100));
        QCOMPARE(Table().value(2901), Table().value(101));
        QCOMPARE(Table().value(2902), Table().value(102));
        QCOMPARE(Table().value(2904), Table().value(103));
        // Both unlock questions ask the same; both refusals of old systems say the same.
        QCOMPARE(Table().value(159), Table().value(114));
        QCOMPARE(Table().value(53), Table().value(51));
        // The send log's field names are the grid headings and the report's header line.
        QStringList fields;
        for (int id = 115; id <= 120; ++id)
            fields << Table().value(id);
        QCOMPARE(fields, (QStringList{"Description", "To", "From", "Subject", "Attachments", "Body"}));
    }

    void operatorNamesAreTheEightTheFilterOffers()
    {
        // "Less than" sits after the two "or equal" names, unlike in the list.
        QStringList names;
        for (int id = 506; id <= 513; ++id)
            names << Table().value(id);
        QCOMPARE(names, (QStringList{"Equal to", "Greater than", "Greater than or equal", "Less than or equal",
                                     "Less than", "Not equal to", "Starts with", "Contains"}));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestStringTable)
#include "tst_StringTable.moc"
