#include "TestMain.h"
#include "shell/Texts.h"

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
        row(52, "Your dataproviders is older than required for #APP_PRODUCTNAME# #APP_MAJOR#.#APP_MINOR#|Would you like to download an update?");
        row(122, "Select the From e-mail address to use. To Add, Edit and Remove a-mail addresses, use the button on the left");
        row(123, "Select the column from the Recipient List that contains recipient e-mailaddresses");
        row(131, "#COUNT# e-mails were send in less than 1 second");
        row(158, "Would you like to save a error report for later review?");
        row(160, "It is only posible to move one tab at a time.|Please click the '#TAB#' tab to continue.");
        row(301, "The Outgoing Mailserver must be specified|Please provide a Outgoing Mailserver");
        row(1106, "Errors occured while sendig");
        row(1107, "Errors occured while sending test e-mails. Review the errors below and reivew your E-mail Setup");
        row(1109, "Your mails where send successfully. It usually take from 1 to 10 minutes for an e-mail to reach the destination");
        row(1110, "Did you recieve your e-mails successfully?");
        row(1801, "Determine wether the first row contains column headings");
        row(2106, "A Outlook Profile is required|Please select a Outlook Profile");
        row(2401, "Locate Xml Database");
        row(2502, "Compose your e-mail and insert the appropiate fields from your recipient list");
        row(2602, "Use the buttons below to scroll through the merged e-mails and check their validity.");
        row(2802, "Follow the three steps bellow to send your e-mails");
        row(3501, "Chooce the delimiter that separetes your fields:");
        row(3507, "Chooce the Text Qualifier that sorounds your values:");
        // Near twins that differ in one detail.
        row(1403, "Browse...");
        row(1703, "B&rowse...");
        row(1409, "A valid Filename is required|Please enter a full path and Filename or click the Browse button");
        row(1709, "A valid Filename is required|Please enter a full path and Filename or click the browse button");
        row(700, "Add e-mail address");
        row(706, "Edit e-mail address");
        // Bars, doubled bars and tokens.
        row(179, "Your E-mail Message has changed||Would you like to save your E-mail Message before exiting?");
        row(181, "Your E-mail Message has changed||Would you like to save your E-mail Message?");
        row(3203, "#CRLF##CRLF#To send the #COUNT# e-mails click Send E-mails");
        row(1121, "Test e-mail sent on #YEAR#-#MONTH#-#DAY# #HOUR#:#MINUTE# by #APP_PRODUCTNAME#");
        row(157, "#ERRCOUNT# of #COUNT# e-mails did not reach the destination");
        // Mnemonics in unusual places, and odd punctuation.
        row(0, "&Next >");
        row(1, "< &Previous");
        row(203, "&What's This?");
        row(209, "&About #APP_PRODUCTNAME#");
        row(2207, "Microsoft O&utlook Contacts");
        row(2303, "Use Wind&ows Security");
        row(2402, "U&RL / URI:");
        row(1112, "N&o");
        row(309, "Connection Timeout (sec.):");
        row(514, "(none)");
        row(813, "UNKNOWN");
        row(1902, "- Click Finish to complete");
    }

    void textsEasyToGetWrong()
    {
        QFETCH(int, id);
        QFETCH(QString, text);
        QCOMPARE(Table().value(id), text);
    }

    void onlyTwoPartTextsHoldABar()
    {
        const QSet<int> expected(TwoPartTexts().cbegin(), TwoPartTexts().cend());
        for (auto it = Table().cbegin(); it != Table().cend(); ++it) {
            const bool hasBar = it.value().contains(u'|');
            QVERIFY2(hasBar == expected.contains(it.key()),
                     qPrintable(QStringLiteral("text %1: %2").arg(it.key()).arg(it.value())));
        }
    }

    void twoPartTextsSplitIntoTitleAndBody()
    {
        for (int id : TwoPartTexts()) {
            const QString text = Table().value(id);
            const QString title = Texts::BalloonTitle(text);
            const QString body = Texts::BalloonBody(text);
            QVERIFY2(!title.isEmpty() && title != text, qPrintable(QString::number(id)));
            QVERIFY2(!body.isEmpty() && body != text, qPrintable(QString::number(id)));
            QVERIFY2(title.trimmed() == title && body.trimmed() == body, qPrintable(QString::number(id)));
        }
    }

    void barsMatchHowEachMessageBoxBreaksLines()
    {
        // The save questions break once per bar and need "||" for their empty
        // line; the others break twice, so a doubled bar there would show two
        // empty lines.
        for (int id : TwoPartTexts()) {
            const qsizetype bars = Table().value(id).count(u'|');
            const bool saveQuestion = id == 179 || id == 181;
            QCOMPARE(bars, saveQuestion ? 2 : 1);
        }
        QCOMPARE(Texts::MessageBoxText(Table().value(179), 1),
                 QStringLiteral("Your E-mail Message has changed\n\n"
                                "Would you like to save your E-mail Message before exiting?"));
        QCOMPARE(Texts::MessageBoxText(Table().value(114), 2),
                 QStringLiteral("This will cancel all the individual changes you have made\n\n"
                                "Are you sure you wish to continue?"));
    }

    void onlyKnownTokensAppear()
    {
        static const QSet<QString> known = {
            QStringLiteral("APP_PRODUCTNAME"), QStringLiteral("APP_MAJOR"), QStringLiteral("APP_MINOR"),
            QStringLiteral("COUNT"), QStringLiteral("ITEM"), QStringLiteral("MAX"),
            QStringLiteral("ERRCOUNT"), QStringLiteral("HOUR"), QStringLiteral("MINUTE"),
            QStringLiteral("SECOND"), QStringLiteral("YEAR"), QStringLiteral("MONTH"),
            QStringLiteral("DAY"), QStringLiteral("TAB"), QStringLiteral("CRLF")};
        static const QRegularExpression token(QStringLiteral("#([A-Z][A-Z0-9_]*)#"));
        for (auto it = Table().cbegin(); it != Table().cend(); ++it) {
            auto matches = token.globalMatch(it.value());
            while (matches.hasNext()) {
                const QString name = matches.next().captured(1);
                QVERIFY2(known.contains(name),
                         qPrintable(QStringLiteral("text %1: unknown token %2").arg(it.key()).arg(name)));
            }
        }
    }

    void textsCarryTheTokensTheirCodeFills_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QStringList>("tokens");
        const QStringList app = {"#APP_PRODUCTNAME#", "#APP_MAJOR#", "#APP_MINOR#"};
        for (int id : {50, 51, 52, 53})
            QTest::addRow("%d", id) << id << app;
        QTest::newRow("157") << 157 << QStringList{"#ERRCOUNT#", "#COUNT#"};
        QTest::newRow("160") << 160 << QStringList{"#TAB#"};
        QTest::newRow("209") << 209 << QStringList{"#APP_PRODUCTNAME#"};
        QTest::newRow("902") << 902 << QStringList{"#ITEM#", "#MAX#"};
        QTest::newRow("1002") << 1002 << QStringList{"#ITEM#", "#MAX#"};
        QTest::newRow("1121") << 1121
                              << QStringList{"#YEAR#", "#MONTH#", "#DAY#", "#HOUR#", "#MINUTE#",
                                             "#APP_PRODUCTNAME#"};
        QTest::newRow("2607") << 2607 << QStringList{"#ITEM#", "#COUNT#"};
        QTest::newRow("2907") << 2907 << QStringList{"#ITEM#", "#COUNT#"};
        QTest::newRow("3203") << 3203 << QStringList{"#CRLF#", "#COUNT#"};
    }

    void textsCarryTheTokensTheirCodeFills()
    {
        QFETCH(int, id);
        QFETCH(QStringList, tokens);
        for (const QString& token : tokens)
            QVERIFY2(Table().value(id).contains(token), qPrintable(token));
    }

    void startUpTextsLoseEveryTokenWhenFilled()
    {
        for (int id : {50, 51, 52, 53})
            QVERIFY(!Texts::ReplaceAppTokens(Table().value(id)).contains(u'#'));
        QString confirm = Table().value(3203);
        confirm.replace(QStringLiteral("#CRLF#"), QStringLiteral("\r\n"));
        QVERIFY(confirm.startsWith(QStringLiteral("\r\n\r\nTo send the ")));
    }

    // Each summary sentence is picked by whether the hours, minutes and seconds
    // are zero, one or more; a swapped id would say "1 hours" or drop a part.
    void summarySentencesFitTheirTimeParts_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("hours");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("seconds");
        const int n = 2;
        const int rows[][4] = {
            {132, 1, 0, 0}, {164, n, 0, 0}, {133, 0, 1, 0}, {134, 0, n, 0}, {135, 0, 0, 1},
            {136, 0, 0, n}, {137, 1, 1, 0}, {138, n, n, 0}, {139, n, 1, 0}, {140, 1, n, 0},
            {141, 1, 0, 1}, {142, n, 0, n}, {143, n, 0, 1}, {144, 1, 0, n}, {145, 0, 1, 1},
            {146, 0, n, n}, {147, 0, n, 1}, {148, 0, 1, n}, {149, 1, 1, 1}, {150, n, 1, 1},
            {151, 1, n, 1}, {152, 1, 1, n}, {153, n, n, 1}, {154, n, 1, n}, {155, 1, n, n},
            {156, n, n, n}};
        for (const auto& r : rows)
            QTest::addRow("%d", r[0]) << r[0] << r[1] << r[2] << r[3];
    }

    void summarySentencesFitTheirTimeParts()
    {
        QFETCH(int, id);
        QFETCH(int, hours);
        QFETCH(int, minutes);
        QFETCH(int, seconds);
        QString text = Table().value(id);
        QVERIFY(text.startsWith(QStringLiteral("#COUNT# e-mails were send in #")));
        text.replace(QStringLiteral("#HOUR#"), QString::number(hours));
        text.replace(QStringLiteral("#MINUTE#"), QString::number(minutes));
        text.replace(QStringLiteral("#SECOND#"), QString::number(seconds));
        const std::pair<const char*, int> parts[] = {{"hour", hours}, {"minute", minutes}, {"second", seconds}};
        for (const auto& [unit, count] : parts) {
            const QString word = QString::fromLatin1(unit);
            if (count == 0) {
                QVERIFY2(!text.contains(word), qPrintable(text));
            } else {
                const QString expected = count == 1 ? QStringLiteral("\\b1 %1\\b").arg(word)
                                                    : QStringLiteral("\\b%1 %2s\\b").arg(count).arg(word);
                QVERIFY2(text.contains(QRegularExpression(expected)), qPrintable(text));
            }
        }
    }

    void mnemonicsAreWellFormed()
    {
        // One "&" at most, and it must mark a letter or digit.
        for (auto it = Table().cbegin(); it != Table().cend(); ++it) {
            const QString& text = it.value();
            const qsizetype amp = text.indexOf(u'&');
            if (amp < 0)
                continue;
            const QString where = QStringLiteral("text %1: %2").arg(it.key()).arg(text);
            QVERIFY2(text.count(u'&') == 1, qPrintable(where));
            QVERIFY2(amp + 1 < text.size() && text[amp + 1].isLetterOrNumber(), qPrintable(where));
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
        QCOMPARE((QStringList{Table().value(115), Table().value(116), Table().value(117),
                              Table().value(118), Table().value(119), Table().value(120)}),
                 (QStringList{"Description", "To", "From", "Subject", "Attachments", "Body"}));
    }

    void operatorNamesAreTheEightTheFilterOffers()
    {
        // The filter lists them with "Less than" third, yet it sits after the
        // two "or equal" names in the table.
        QCOMPARE(Table().value(508), QStringLiteral("Greater than or equal"));
        QCOMPARE(Table().value(509), QStringLiteral("Less than or equal"));
        QCOMPARE(Table().value(510), QStringLiteral("Less than"));
        QStringList names;
        for (int id = 506; id <= 513; ++id)
            names << Table().value(id);
        names.sort();
        QStringList expected = {"Equal to",   "Greater than", "Less than",   "Greater than or equal",
                                "Less than or equal", "Not equal to", "Starts with", "Contains"};
        expected.sort();
        QCOMPARE(names, expected);
    }

    void noTextHasStrayBlanksOrBreaks()
    {
        // Trailing blanks that the windows need (column captions) are added by
        // the code, so a blank at either end here is an editing slip.
        for (auto it = Table().cbegin(); it != Table().cend(); ++it) {
            const QString& text = it.value();
            const QString where = QStringLiteral("text %1: [%2]").arg(it.key()).arg(text);
            QVERIFY2(text.trimmed() == text, qPrintable(where));
            QVERIFY2(!text.contains(u'\n') && !text.contains(u'\r') && !text.contains(u'\t'),
                     qPrintable(where));
        }
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestStringTable)
#include "tst_StringTable.moc"
