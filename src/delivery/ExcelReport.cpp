#include "delivery/ExcelReport.h"

#include "platform/recordset/Recordset.h"
#include "store/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <vector>
#include <xlsxwriter.h>

namespace {

// The grey of the heading row (the spreadsheet's colour 15).
constexpr lxw_color_t HeadingGrey = 0xC0C0C0;
// The widest column a sheet allows, in characters.
constexpr double MaxColumnWidth = 255;

// The length of a value's longest line, in characters.
qsizetype LongestLine(const QString& value)
{
    qsizetype longest = 0;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = value.indexOf(u'\n', start);
        const qsizetype length = (end < 0 ? value.size() : end) - start;
        longest = std::max(longest, length);
        if (end < 0)
            return longest;
        start = end + 1;
    }
}

// The workbook's XML writes characters it cannot hold as "_xHHHH_", so a
// value holding such a text itself must have its "_" written that way too,
// or it reads back as the character.
void EscapeCharacterCodes(QString& value)
{
    static const QRegularExpression code(QStringLiteral("_(x[0-9A-Fa-f]{4}_)"));
    if (value.contains(QLatin1String("_x")))
        value.replace(code, QStringLiteral("_x005F_\\1"));
}

QString Describe(lxw_error error)
{
    return QString::fromUtf8(lxw_strerror(error));
}

// Writes the workbook with libxlsxwriter to `file`; false with the reason
// on any failure.
bool WriteWorkbook(const Recordset& log, const QByteArray& file, const QByteArray& scratch,
                   int* cutCells, QString* error)
{
    // Row by row to a scratch file: memory stays small however long the
    // log, and each row is written once and in order anyway.
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char*>(scratch.constData());
    lxw_workbook* book = workbook_new_opt(file.constData(), &options);
    if (!book) {
        *error = QStringLiteral("the workbook could not be created");
        return false;
    }
    lxw_worksheet* sheet = workbook_add_worksheet(book, "Report");
    lxw_format* heading = workbook_add_format(book);
    format_set_bold(heading);
    format_set_bg_color(heading, HeadingGrey);

    const int fields = log.FieldCount();
    const int rows = std::min(log.RecordCount(), ExcelReport::MaxRows);
    std::vector<qsizetype> widths(size_t(fields), 0);
    lxw_error failed = LXW_NO_ERROR;
    const auto put = [&](int row, int column, QString value, lxw_format* format) {
        if (value.size() > ExcelReport::MaxCellChars) {
            // Not in the middle of a surrogate pair.
            qsizetype keep = ExcelReport::MaxCellChars;
            if (value.at(keep - 1).isHighSurrogate())
                --keep;
            value.truncate(keep);
            ++*cutCells;
        }
        widths[size_t(column)] = std::max(widths[size_t(column)], LongestLine(value));
        EscapeCharacterCodes(value);
        const lxw_error result = worksheet_write_string(sheet, lxw_row_t(row), lxw_col_t(column),
                                                        value.toUtf8().constData(), format);
        if (result != LXW_NO_ERROR && failed == LXW_NO_ERROR)
            failed = result;
    };
    for (int i = 0; i < fields; ++i)
        put(0, i, log.FieldName(i), heading);
    for (int row = 0; row < rows && failed == LXW_NO_ERROR; ++row)
        for (int i = 0; i < fields; ++i)
            put(row + 1, i, log.ValueAt(row, i).toString(), nullptr);

    if (failed == LXW_NO_ERROR && fields > 0)
        failed = worksheet_autofilter(sheet, 0, 0, lxw_row_t(rows), lxw_col_t(fields - 1));
    for (int i = 0; i < fields && failed == LXW_NO_ERROR; ++i) {
        // A little room for the filter's arrow.
        const double width = std::min(MaxColumnWidth, double(widths[size_t(i)]) + 3);
        failed = worksheet_set_column(sheet, lxw_col_t(i), lxw_col_t(i), width, nullptr);
    }
    // Closing writes the file, and frees the workbook in every case.
    const lxw_error closed = workbook_close(book);
    if (failed == LXW_NO_ERROR)
        failed = closed;
    if (failed != LXW_NO_ERROR)
        *error = Describe(failed);
    return failed == LXW_NO_ERROR;
}

} // namespace

ReportResult ExcelReport::Write(const Recordset& log, const QString& path)
{
    ReportResult result;
    // The library writes a file of its own; it is then copied into the
    // target's place in one step, so a failure leaves the old file whole.
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        result.error = scratch.errorString();
        return result;
    }
    const QString built = scratch.filePath(QStringLiteral("report.xlsx"));
    if (!WriteWorkbook(log, QFile::encodeName(built), QFile::encodeName(scratch.path()),
                       &result.cutCells, &result.error))
        return result;

    QFile source(built);
    AtomicFile target(path);
    if (!source.open(QIODevice::ReadOnly)) {
        result.error = source.errorString();
        return result;
    }
    bool ok = target.Open();
    while (ok && !source.atEnd()) {
        const QByteArray piece = source.read(1 << 20);
        if (piece.isEmpty() && source.error() != QFileDevice::NoError) {
            result.error = source.errorString();
            return result;
        }
        ok = target.Write(piece);
    }
    result.ok = ok && target.Commit();
    if (!result.ok)
        result.error = target.ErrorString();
    else
        AtomicFile::SyncFolder(QFileInfo(path).absolutePath(), nullptr);
    return result;
}
