#include "SmtpTestServer.h"
#include "TestFiles.h"
#include "TestMain.h"
#include "delivery/ExcelReport.h"
#include "delivery/SendErrorLog.h"
#include "delivery/TextReport.h"
#include "merge/Mails.h"
#include "platform/providers/sheets/Workbook.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace TestSupport;

namespace {

// Values a report must carry whole: qualifiers, delimiters, line breaks,
// tabs, characters beyond ASCII, empty values.
const QList<QStringList> AwkwardRows = {
    {"550 \"no\" such user; bad, 'x'", "a|b@example.org", "Ann <ann@example.com>", "Hi\tthere", "",
     "Line 1\r\nLine 2 \"quoted\", 'single'; semi|pipe\nLine 3"},
    {QString::fromUtf8("Grüße 😀"), "c@example.org", "", "", "/a b.pdf;/c.txt", " lead"},
};
// Values that read back even without a qualifier: no delimiter, no break.
const QList<QStringList> PlainRows = {
    {"550", "x@example.org", "ann@example.com", "say\"hi'", "", "Body"},
    {"421", "y@example.org", "", "S", "/a.pdf", "B"},
};

QStringList FieldNames(const Recordset& log)
{
    QStringList names;
    for (int i = 0; i < log.FieldCount(); ++i)
        names << log.FieldName(i);
    return names;
}

// Every row of the set, its values as text.
QList<QStringList> Cells(Recordset& records)
{
    QList<QStringList> rows;
    for (records.MoveFirst(); !records.AtEOF(); records.MoveNext()) {
        rows.append(QStringList());
        for (int i = 0; i < records.FieldCount(); ++i)
            rows.last() << records.Value(i).toString();
    }
    return rows;
}

FromAddressRef Sender(const QString& name, const QString& reply)
{
    return std::make_shared<const FromAddress>(name, QStringLiteral("ann@example.com"), reply);
}

void Fill(SendErrorLog& log, const QList<QStringList>& rows)
{
    for (const QStringList& row : rows)
        log.Records().AppendRow(QVariantList(row.cbegin(), row.cend()));
}

// The report read back by tests/support/report_inspect.py, as JSON.
QJsonValue Inspect(const QStringList& arguments)
{
    QProcess python;
    python.start(SystemPython(), QStringList{QStringLiteral(CORVANTA_SOURCE_DIR
                                                            "/tests/support/report_inspect.py")} +
                                     arguments);
    if (!python.waitForFinished(30000) || python.exitCode() != 0)
        qWarning("%s", python.readAllStandardError().constData());
    return QJsonDocument::fromJson("[" + python.readAllStandardOutput() + "]").array().at(0);
}

QList<QStringList> Rows(const QJsonValue& json)
{
    QList<QStringList> rows;
    for (const QJsonValue& row : json.toArray())
        rows.append(row.toVariant().toStringList());
    return rows;
}

} // namespace

class TestErrorReport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;

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
        QCOMPARE(
            Cells(log.Records()),
            QList<QStringList>(
                {{"550 no such user", "x@example.org", "Ann (ann@example.com) (re@example.com)",
                  "Hi", "/a.pdf;/b.txt", "Body\r\n"},
                 {"421 closing", "y@example.org", "", "", "", ""},
                 {"timeout", "z@example.org", "ann@example.com (ann@example.com)", "S", "", "B"}}));

        // After a retry: the row of a mail that went goes, another's reason
        // changes, the rest stay as they were, in order.
        QCOMPARE(log.Revise({{0, QString()}, {2, QStringLiteral("temporary: 451 later")}}),
                 (std::vector<int>{-1, 0, 1}));
        QCOMPARE(Cells(log.Records()),
                 QList<QStringList>({{"421 closing", "y@example.org", "", "", "", ""},
                                     {"temporary: 451 later", "z@example.org",
                                      "ann@example.com (ann@example.com)", "S", "", "B"}}));

        // Texts longer than the fields' declared sizes are kept whole.
        const QString body(100000, u'b');
        const QString to = QStringLiteral("a@example.org;").repeated(400);
        log.Reset();
        Q_EMIT mails.SendErr("refused", to, FromAddressRef(), "", "", body);
        QCOMPARE(Cells(log.Records()), QList<QStringList>({{"refused", to, "", "", "", body}}));
    }

    // The workbook reads back through the program's own reader with every
    // cell; a value over the cell's limit is cut there and counted.
    void workbookReadsBack()
    {
        SendErrorLog log;
        QList<QStringList> rows = AwkwardRows + PlainRows;
        rows.append({"long", "z@example.org", "", "", "", QString(40000, u'b')});
        rows.append({"control \x01 character", "", "", "", "", "x_x0041_y"});
        Fill(log, rows);
        const QString path = m_folder.filePath("report.xlsx");
        const ReportResult result = ExcelReport::Write(log.Records(), path);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.cutCells, 1);
        rows[4][5].truncate(ExcelReport::MaxCellChars);

        QCOMPARE(Workbook::SheetNames(path), QStringList{"Report"});
        Recordset back = Workbook::ReadSheet(path, QStringLiteral("Report"), true);
        QCOMPARE(FieldNames(back), FieldNames(log.Records()));
        QCOMPARE(Cells(back), rows);

        const QVariantMap styles = Inspect({"styles", path}).toVariant().toMap();
        QVERIFY(styles.value("heading").toBool());
        QCOMPARE(styles.value("filter").toString(), QStringLiteral("A1:F%1").arg(rows.size() + 1));
        // Each column as wide as its longest line, within the sheet's limit
        // (the file adds under a character of padding).
        const QVariantList widths = styles.value("widths").toList();
        QCOMPARE(widths.size(), 6);
        for (int i = 0; i < 6; ++i) {
            qsizetype longest = FieldNames(log.Records())[i].size();
            for (const QStringList& row : rows)
                for (const QString& line : row[i].split(QRegularExpression("\r?\n")))
                    longest = std::max(longest, line.size());
            const double width = widths[i].toDouble();
            QVERIFY2(
                width >= std::min<double>(longest, 255) &&
                    width <= std::min<double>(longest + 5, 256),
                qPrintable(QStringLiteral("column %1: %2 for %3").arg(i).arg(width).arg(longest)));
        }
    }

    // Every delimiter, qualifier and header choice reads back whole in
    // Python's csv module; with a qualifier, values holding it, the
    // delimiter or line breaks too. No line break ends the file.
    void textReadsBack_data()
    {
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<QString>("qualifier");
        QTest::addColumn<bool>("header");
        for (const char* delimiter : {"\t", ";", ",", " ", "|"})
            for (const char* qualifier : {"\"", "'", ""})
                for (bool header : {true, false})
                    QTest::addRow("[%s] [%s] %s", delimiter, qualifier, header ? "header" : "")
                        << delimiter << qualifier << header;
    }
    void textReadsBack()
    {
        QFETCH(QString, delimiter);
        QFETCH(QString, qualifier);
        QFETCH(bool, header);
        SendErrorLog log;
        QList<QStringList> rows = qualifier.isEmpty() ? PlainRows : AwkwardRows + PlainRows;
        Fill(log, rows);
        const QString path = m_folder.filePath("report.csv");
        const ReportResult result =
            TextReport::Write(log.Records(), path, {delimiter, qualifier, header});
        QVERIFY2(result.ok, qPrintable(result.error));
        const QByteArray bytes = ReadBytes(path);
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QVERIFY(!bytes.endsWith("\n"));
        if (header)
            rows.prepend(FieldNames(log.Records()));
        QCOMPARE(Rows(Inspect({"csv", delimiter, qualifier, path})), rows);
        // The preview shows the same text.
        QCOMPARE(QByteArray("\xEF\xBB\xBF") + TextReport::Text(FieldNames(log.Records()),
                                                               header ? rows.mid(1) : rows,
                                                               {delimiter, qualifier, header})
                                                  .toUtf8(),
                 bytes);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestErrorReport)
#include "tst_ErrorReport.moc"
