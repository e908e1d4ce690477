// The .xls reader held against FreeXL, the only program here that links it:
// every worksheet of every real .xls test file that FreeXL opens must read
// alike. FreeXL only ever reads these real files; byte-mutated workbooks make
// FreeXL 1.0.6 overrun its stack buffers.
#include "TestMain.h"
#include "platform/providers/sheets/SheetTable.h"
#include "platform/providers/sheets/XlsReader.h"

#include <QDateTime>
#include <QDir>
#include <QMap>

#include <freexl.h>

namespace {

// A cell as our reader gives it.
struct Cell
{
    SheetValues::Kind kind = SheetValues::Kind::Empty;
    double number = 0;
    QString text;
    QDateTime date;
};

class Collect : public SheetCellSink
{
public:
    QMap<std::pair<int, int>, Cell> cells;

    void SetNumber(int r, int c, double v) override { cells[{r, c}] = {SheetValues::Kind::Number, v, {}, {}}; }
    void SetText(int r, int c, const QString& v) override { cells[{r, c}] = {SheetValues::Kind::Text, 0, v, {}}; }
    void SetBoolean(int r, int c, bool) override { cells[{r, c}] = {SheetValues::Kind::Boolean, 0, {}, {}}; }
    void SetDate(int r, int c, const QDateTime& v) override { cells[{r, c}] = {SheetValues::Kind::Date, 0, {}, v}; }
    void SetError(int r, int c) override { cells[{r, c}] = {SheetValues::Kind::Error, 0, {}, {}}; }
};

QDateTime FreeXlDate(unsigned char type, const char* text)
{
    const QString value = QString::fromLatin1(text);
    if (type == FREEXL_CELL_DATE)
        return QDateTime(QDate::fromString(value, u"yyyy-MM-dd"), QTime(0, 0), Qt::UTC);
    if (type == FREEXL_CELL_TIME)
        return QDateTime(QDate(1899, 12, 30), QTime::fromString(value, u"HH:mm:ss"), Qt::UTC);
    const QDateTime at = QDateTime::fromString(value, u"yyyy-MM-dd HH:mm:ss");
    return QDateTime(at.date(), at.time(), Qt::UTC);
}

struct FreeXl
{
    const void* handle = nullptr;
    ~FreeXl() { freexl_close(handle); }
};

} // namespace

class TestXlsFreeXl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyWorksheetReadsAsFreeXlReadsIt()
    {
        int files = 0, sheets = 0, cells = 0;
        const QDir folder(TestSupport::TestData(QStringLiteral("xls")));
        for (const QString& name : folder.entryList({QStringLiteral("*.xls")}, QDir::Files)) {
            const QString path = folder.filePath(name);
            FreeXl library;
            if (freexl_open(QFile::encodeName(path).constData(), &library.handle) != FREEXL_OK || !library.handle)
                continue; // nothing to hold ours against
            unsigned int count = 0;
            QVERIFY(freexl_get_info(library.handle, FREEXL_BIFF_SHEET_COUNT, &count) == FREEXL_OK);
            QStringList names;
            for (unsigned int i = 0; i < count; ++i) {
                const char* sheetName = nullptr;
                QVERIFY(freexl_get_worksheet_name(library.handle, static_cast<unsigned short>(i), &sheetName) ==
                        FREEXL_OK);
                names << QString::fromUtf8(sheetName);
            }
            const XlsReader ours(path);
            QCOMPARE(ours.SheetNames(), names);
            ++files;

            for (int index = 0; index < names.size(); ++index) {
                const QString what = name + QStringLiteral(", ") + names[index];
                Collect mine;
                ours.ReadCells(names[index], mine);
                QVERIFY(freexl_select_active_worksheet(library.handle, static_cast<unsigned short>(index)) ==
                        FREEXL_OK);
                unsigned int rows = 0;
                unsigned short columns = 0;
                QVERIFY(freexl_worksheet_dimensions(library.handle, &rows, &columns) == FREEXL_OK);

                // FreeXL leaves formula cells empty, gives booleans and error
                // values as small whole numbers and fails on some cells (large
                // whole numbers among them): those cells are not compared.
                // Every other value FreeXL gives must be ours.
                for (unsigned int r = 0; r < rows; ++r) {
                    for (unsigned short c = 0; c < columns; ++c) {
                        FreeXL_CellValue cell;
                        if (freexl_get_cell_value(library.handle, r, c, &cell) != FREEXL_OK ||
                            cell.type == FREEXL_CELL_NULL)
                            continue;
                        const Cell own = mine.cells.value({int(r), int(c)});
                        bool same = false;
                        switch (cell.type) {
                        case FREEXL_CELL_INT:
                            if (own.kind == SheetValues::Kind::Boolean || own.kind == SheetValues::Kind::Error)
                                continue;
                            same = own.kind == SheetValues::Kind::Number && own.number == cell.value.int_value;
                            break;
                        case FREEXL_CELL_DOUBLE:
                            same = own.kind == SheetValues::Kind::Number && own.number == cell.value.double_value;
                            break;
                        case FREEXL_CELL_TEXT:
                        case FREEXL_CELL_SST_TEXT:
                            same = own.kind == SheetValues::Kind::Text &&
                                   own.text == QString::fromUtf8(cell.value.text_value);
                            break;
                        default:
                            same = own.kind == SheetValues::Kind::Date &&
                                   QDateTime(own.date.date(), own.date.time(), Qt::UTC) ==
                                       FreeXlDate(cell.type, cell.value.text_value);
                        }
                        QVERIFY2(same, qPrintable(QStringLiteral("%1, row %2, column %3").arg(what).arg(r + 1).arg(c + 1)));
                        ++cells;
                    }
                }
                ++sheets;
            }
        }
        // Most of the real files are ones FreeXL opens; losing them must not pass quietly.
        QVERIFY2(files >= 15, qPrintable(QString::number(files)));
        QVERIFY(sheets >= 40);
        QVERIFY2(cells > 2000, qPrintable(QString::number(cells)));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestXlsFreeXl)
#include "tst_XlsFreeXl.moc"
