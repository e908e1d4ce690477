#include "platform/providers/sheets/XlsReader.h"

#include "platform/providers/sheets/SheetTable.h"
#include "platform/providers/sheets/WorkbookError.h"
#include "platform/providers/sheets/XlsBiff.h"
#include "platform/providers/sheets/XlsCompoundFile.h"

#include <QFile>
#include <QFileInfo>

#include <freexl.h>

#include <optional>
#include <set>

namespace {

// A file larger than this is not read into memory as a workbook.
constexpr qint64 kMaxFileBytes = qint64(512) << 20;

QString FileName(const QString& path)
{
    return QFileInfo(path).fileName();
}

[[noreturn]] void Encrypted(const QString& path)
{
    WorkbookError::Raise(WorkbookError::Encrypted,
                         QStringLiteral("The workbook %1 is encrypted (protected by a password to open it); save "
                                        "it without a password and try again.")
                             .arg(FileName(path)));
}

[[noreturn]] void FreeXlFailed(const QString& path, int code)
{
    const QString name = FileName(path);
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        WorkbookError::Raise(WorkbookError::FileNotFound, QStringLiteral("The file %1 could not be opened.").arg(path));
    case FREEXL_INSUFFICIENT_MEMORY:
        WorkbookError::Raise(WorkbookError::TooLarge, QStringLiteral("The workbook %1 is too large to read.").arg(name));
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
        WorkbookError::Raise(WorkbookError::NotWorkbook,
                             QStringLiteral("The file %1 is not an Excel 97-2003 workbook.").arg(name));
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        WorkbookError::Raise(WorkbookError::NotWorkbook,
                             QStringLiteral("The file %1 holds no workbook stream that can be read (it may come "
                                            "from another program or an old Excel version).")
                                 .arg(name));
    case FREEXL_OK:
        WorkbookError::Raise(WorkbookError::Damaged,
                             QStringLiteral("The workbook %1 could not be read: it uses something the worksheet "
                                            "reader does not support. Save it as an .xlsx workbook and try again.")
                                 .arg(name));
    default:
        WorkbookError::Raise(WorkbookError::Damaged,
                             QStringLiteral("The workbook %1 is damaged or incomplete (the worksheet reader "
                                            "reports error %2).")
                                 .arg(name)
                                 .arg(code));
    }
}

QDateTime FreeXlDate(unsigned char type, const char* text)
{
    const QString value = QString::fromLatin1(text);
    if (type == FREEXL_CELL_DATE)
        return QDateTime(QDate::fromString(value, u"yyyy-MM-dd"), QTime(0, 0), Qt::UTC);
    if (type == FREEXL_CELL_TIME)
        return QDateTime(QDate(1899, 12, 30), QTime::fromString(value, u"HH:mm:ss"), Qt::UTC);
    const QDateTime at = QDateTime::fromString(value, u"yyyy-MM-dd HH:mm:ss");
    return at.isValid() ? QDateTime(at.date(), at.time(), Qt::UTC) : QDateTime();
}

} // namespace

struct XlsReader::Impl
{
    QString path;
    XlsReader::Engine engine = XlsReader::Engine::Auto;
    const void* handle = nullptr;
    QStringList names;
    std::optional<XlsBiff> records;
    bool ownReading = false; // FreeXL refused the file; the records are read here instead

    ~Impl() { freexl_close(handle); }

    void Open()
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            WorkbookError::Raise(WorkbookError::FileNotFound,
                                 QStringLiteral("The file %1 could not be opened: %2").arg(path, file.errorString()));
        if (file.size() > kMaxFileBytes)
            WorkbookError::Raise(WorkbookError::TooLarge,
                                 QStringLiteral("The workbook %1 is larger than %2 MB, more than can be imported.")
                                     .arg(FileName(path))
                                     .arg(kMaxFileBytes >> 20));
        const XlsCompoundFile container(file.readAll());
        file.close();
        if (container.IsValid()) {
            const QStringList streams = container.StreamNames();
            if (streams.contains(QStringLiteral("EncryptedPackage"), Qt::CaseInsensitive))
                Encrypted(path);
            auto stream = container.Stream(QStringLiteral("Workbook"));
            if (!stream)
                stream = container.Stream(QStringLiteral("Book"));
            if (stream) {
                records.emplace(std::move(*stream));
                if (records->IsEncrypted())
                    Encrypted(path);
            }
        }

        const int code = engine == XlsReader::Engine::RecordsOnly
                             ? FREEXL_OK
                             : freexl_open(QFile::encodeName(path).constData(), &handle);
        if (code != FREEXL_OK || !handle) {
            // Some sound workbooks FreeXL cannot open (a stream named "BOOK",
            // a small workbook kept in the mini stream, some sheet names):
            // their records are read directly, if they hold together.
            if (code != FREEXL_FILE_NOT_FOUND && records && !records->SheetNames().isEmpty()) {
                freexl_close(handle);
                handle = nullptr;
                ownReading = true;
                names = records->SheetNames();
                return;
            }
            if (engine == XlsReader::Engine::RecordsOnly)
                WorkbookError::Raise(WorkbookError::Damaged,
                                     QStringLiteral("The workbook %1 is damaged or incomplete: its records cannot be "
                                                    "read.")
                                         .arg(FileName(path)));
            FreeXlFailed(path, code);
        }
        unsigned int count = 0;
        if (freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK)
            FreeXlFailed(path, -1000);
        for (unsigned int i = 0; i < count; ++i) {
            const char* name = nullptr;
            if (freexl_get_worksheet_name(handle, static_cast<unsigned short>(i), &name) != FREEXL_OK || !name)
                FreeXlFailed(path, -1001);
            names << QString::fromUtf8(name);
        }
    }

    Recordset Read(int index, bool header)
    {
        if (ownReading) {
            SheetTable table;
            Supplement(table, records->Cells(names[index], true));
            return table.TakeRecordset(header);
        }
        if (freexl_select_active_worksheet(handle, static_cast<unsigned short>(index)) != FREEXL_OK)
            FreeXlFailed(path, -1002);
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (freexl_worksheet_dimensions(handle, &rows, &columns) != FREEXL_OK)
            FreeXlFailed(path, -1003);

        SheetTable table;
        std::set<std::pair<int, int>> unread; // cells FreeXL could not give
        for (unsigned int row = 0; row < rows; ++row) {
            for (unsigned short column = 0; column < columns; ++column) {
                FreeXL_CellValue cell;
                const int r = int(row), c = int(column);
                if (freexl_get_cell_value(handle, row, column, &cell) != FREEXL_OK) {
                    unread.insert({r, c});
                    continue;
                }
                switch (cell.type) {
                case FREEXL_CELL_INT:
                    // Whole numbers of older files, but also booleans and
                    // error values; the records below tell those apart.
                    table.SetNumber(r, c, cell.value.int_value);
                    break;
                case FREEXL_CELL_DOUBLE:
                    table.SetNumber(r, c, cell.value.double_value);
                    break;
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                    table.SetText(r, c, QString::fromUtf8(cell.value.text_value));
                    break;
                case FREEXL_CELL_DATE:
                case FREEXL_CELL_DATETIME:
                case FREEXL_CELL_TIME:
                    table.SetDate(r, c, FreeXlDate(cell.type, cell.value.text_value));
                    break;
                default:
                    break;
                }
            }
        }
        // Cells FreeXL stumbled on (large whole numbers among them) are taken
        // from the records, where they can be read.
        if (records && !unread.empty()) {
            std::vector<XlsBiff::Cell> missed;
            for (XlsBiff::Cell& cell : records->Cells(names[index], true))
                if (unread.count({cell.row, cell.column}))
                    missed.push_back(std::move(cell));
            Supplement(table, missed);
        }
        if (records)
            Supplement(table, records->Cells(names[index]));
        return table.TakeRecordset(header);
    }

    static void Supplement(SheetTable& table, const std::vector<XlsBiff::Cell>& cells)
    {
        for (const XlsBiff::Cell& cell : cells) {
            switch (cell.kind) {
            case SheetValues::Kind::Number: table.SetNumber(cell.row, cell.column, cell.number); break;
            case SheetValues::Kind::Text: table.SetText(cell.row, cell.column, cell.text); break;
            case SheetValues::Kind::Boolean: table.SetBoolean(cell.row, cell.column, cell.number != 0); break;
            case SheetValues::Kind::Date: table.SetDate(cell.row, cell.column, cell.date); break;
            case SheetValues::Kind::Error: table.SetError(cell.row, cell.column); break;
            default: break;
            }
        }
    }
};

XlsReader::XlsReader(const QString& path, Engine engine) : d(std::make_unique<Impl>())
{
    d->path = path;
    d->engine = engine;
    d->Open();
}

XlsReader::~XlsReader() = default;

QStringList XlsReader::SheetNames() const
{
    return d->names;
}

Recordset XlsReader::ReadSheet(const QString& name, bool header)
{
    const qsizetype index = d->names.indexOf(name);
    if (index < 0)
        WorkbookError::Raise(WorkbookError::SheetNotFound,
                             QStringLiteral("The workbook has no worksheet named \"%1\".").arg(name));
    return d->Read(int(index), header);
}
