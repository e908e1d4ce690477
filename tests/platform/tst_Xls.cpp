#include "RecordsetProbe.h"
#include "TestFiles.h"
#include "TestMain.h"
#include "platform/providers/sheets/SheetTable.h"
#include "platform/providers/sheets/XlsBiff.h"
#include "platform/providers/sheets/XlsCompoundFile.h"
#include "platform/providers/sheets/XlsReader.h"
#include "platform/providers/sheets/XlsxReader.h"

#include <QDateTime>
#include <QDir>

#include <functional>

using TestSupport::Row;

namespace {

QString Xls(const QString& name)
{
    return TestSupport::TestData(QStringLiteral("xls/") + name);
}

Recordset Read(const QString& file, const QString& sheet, bool header = true)
{
    return XlsReader(Xls(file)).ReadSheet(sheet, header);
}

} // namespace

class TestXls : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sameWorkbookReadsAlikeInBothFormats_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("sheet");
        for (const char* sheet : {"guess_me", "guess_max", "smorgasbord", "logical_coercion", "date_coercion",
                                  "numeric_coercion", "text_coercion"})
            QTest::newRow(sheet) << "readxl-types" << sheet;
        QTest::newRow("unnamed") << "readxl-unnamed-duplicated-columns" << "Sheet1";
        QTest::newRow("repair") << "readxl-names-need-repair-xls" << "Sheet1";
        QTest::newRow("blanks") << "readxl-blanks" << "different_rows";
        QTest::newRow("missing column") << "readxl-missing-first-column" << "Sheet1";
        QTest::newRow("whitespace") << "readxl-whitespace-xls" << "logical_and_NA";
        QTest::newRow("samples") << "poi-SampleSS" << "Sheet Number 2";
    }

    // The .xls and .xlsx copies of the same workbooks give the same record
    // sets, formulas, booleans and 1904 dates included.
    void sameWorkbookReadsAlikeInBothFormats()
    {
        QFETCH(QString, file);
        QFETCH(QString, sheet);
        QString xlsx = file;
        xlsx.replace(QStringLiteral("-xls"), QStringLiteral("-xlsx"));
        for (bool header : {true, false}) {
            QCOMPARE(Read(file + QStringLiteral(".xls"), sheet, header).Persist(),
                     XlsxReader(TestSupport::TestData("xlsx/" + xlsx + ".xlsx")).ReadSheet(sheet, header).Persist());
        }
    }

    // Workbooks FreeXL cannot open (tst_XlsFreeXl holds the others).
    void workbooksOfOddMakeAndPlace()
    {
        // The workbook stream is called "BOOK".
        XlsReader book(Xls(QStringLiteral("poi-BOOK_in_capitals.xls")));
        QCOMPARE(book.SheetNames(), QStringList({"301. exposures by cpty and agreement_301_NTTX_EXCEL.rpt"}));
        QVERIFY(book.ReadSheet(book.SheetNames().value(0), false).RecordCount() >= 20);

        // A small workbook kept in the mini stream.
        XlsReader small(Xls(QStringLiteral("readxl-utf8-sheet-names.xls")));
        QCOMPARE(small.SheetNames(), QStringList({QStringLiteral("µ"), QStringLiteral("∂")}));
        QCOMPARE(Row(small.ReadSheet(QStringLiteral("∂"), true), 0), QVariantList({1.0}));
    }

    // The records are read a piece at a time; records cut by the end of a
    // piece (strings going on in the records after them among them) read as
    // when the stream is whole.
    void recordsReadPieceByPiece()
    {
        struct SmallPieces : XlsMemoryStream
        {
            using XlsMemoryStream::XlsMemoryStream;
            qint64 PieceSize() const override { return 7; }
        };
        int sheets = 0;
        for (const QString& name : QDir(TestSupport::TestData(QStringLiteral("xls"))).entryList(QDir::Files)) {
            const XlsCompoundFile container(TestSupport::ReadBytes(Xls(name)));
            auto stream = container.Stream(QStringLiteral("Workbook"));
            if (!stream)
                stream = container.Stream(QStringLiteral("Book"));
            if (!stream)
                continue;
            const XlsBiff whole(*stream);
            const XlsBiff pieces(std::make_shared<SmallPieces>(*stream));
            QCOMPARE(pieces.SheetNames(), whole.SheetNames());
            for (const QString& sheet : whole.SheetNames()) {
                const auto read = [&](const XlsBiff& records) {
                    return SheetTable::FromTwoPasses(false, [&](SheetCellSink& sink) { records.ReadCells(sheet, sink); });
                };
                QVERIFY2(read(pieces).Persist() == read(whole).Persist(), qPrintable(name + u' ' + sheet));
                ++sheets;
            }
        }
        QVERIFY(sheets > 40);
    }

    // Found by the fuzzer: one cell record claiming column 64,512 stretched
    // the table to 64,513 empty columns. Sheets of this format have 256.
    void cellsBeyondTheLastColumnAreNotRead()
    {
        const XlsBiff records(
            TestSupport::ReadBytes(QStringLiteral(CORVANTA_SOURCE_DIR "/fuzz/regressions/xls_biff/cell-beyond-column-256.bin")));
        QCOMPARE(records.SheetNames(), QStringList{QStringLiteral("S")});
        const Recordset set = SheetTable::FromTwoPasses(
            false, [&](SheetCellSink& sink) { records.ReadCells(QStringLiteral("S"), sink); });
        QCOMPARE(set.FieldCount(), 2);
        QCOMPARE(Row(set, 0), QVariantList({1.0, QVariant()}));
        QCOMPARE(Row(set, 1), QVariantList({QVariant(), QVariant()}));
        QCOMPARE(Row(set, 2), QVariantList({QVariant(), 3.0}));
    }

    // Cells in record order are put straight into the rows; any other order
    // (or a cell given twice) is sorted first. Both give the same table.
    void cellsInAnyOrderGiveTheSameTable_data()
    {
        QTest::addColumn<QList<int>>("order"); // positions into the cells below
        QTest::newRow("in order") << QList<int>{0, 1, 2, 3, 4, 5, 6, 7};
        QTest::newRow("rows backwards") << QList<int>{6, 7, 4, 5, 2, 3, 0, 1};
        QTest::newRow("columns swapped") << QList<int>{1, 0, 2, 3, 4, 5, 7, 6};
        QTest::newRow("a cell twice") << QList<int>{0, 1, 2, 3, 2, 4, 5, 6, 7};
        QTest::newRow("header only") << QList<int>{0, 1};
        QTest::newRow("nothing") << QList<int>{};
    }

    void cellsInAnyOrderGiveTheSameTable()
    {
        QFETCH(QList<int>, order);
        // A header row, a row with an error and a bad date, an empty row, and
        // a last row whose number column holds text.
        const std::function<void(SheetCellSink&)> cells[] = {
            [](SheetCellSink& s) { s.SetText(2, 1, QStringLiteral("Name")); },
            [](SheetCellSink& s) { s.SetNumber(2, 3, 7); },
            [](SheetCellSink& s) { s.SetText(3, 1, QStringLiteral("Ann")); },
            [](SheetCellSink& s) { s.SetError(3, 3); },
            [](SheetCellSink& s) { s.SetDate(3, 4, QDateTime()); },
            [](SheetCellSink& s) { s.SetBoolean(5, 1, true); },
            [](SheetCellSink& s) { s.SetNumber(6, 3, 2.5); },
            [](SheetCellSink& s) { s.SetText(6, 4, QStringLiteral("x")); },
        };
        const auto give = [&](SheetCellSink& sink) {
            for (int i : order)
                cells[i](sink);
        };
        for (bool header : {true, false}) {
            SheetTable stored;
            give(stored);
            QCOMPARE(SheetTable::FromTwoPasses(header, give).Persist(), stored.TakeRecordset(header).Persist());
        }
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestXls)
#include "tst_Xls.moc"
