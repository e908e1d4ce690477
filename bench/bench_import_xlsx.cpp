// Writes the .xlsx file of the import benchmark: bench_import_xlsx PATH ROWS
// (a header row and ROWS data rows, constant memory mode).
//
// A program of its own because libxlsxwriter finds its zip functions by name,
// and in a program linked with the readers those names resolve to quazip's
// copies of minizip, which take other arguments: writing then crashes.

#include "ImportRows.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <xlsxwriter.h>

#include <cstdio>
#include <cstdlib>

using namespace ImportRows;

namespace {

bool WriteXlsx(const QString& path, int rows)
{
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    const QByteArray name = QFile::encodeName(path);
    lxw_workbook* book = workbook_new_opt(name.constData(), &options);
    if (!book)
        return false;
    lxw_worksheet* sheet = workbook_add_worksheet(book, "Sheet1");
    lxw_format* date = workbook_add_format(book);
    format_set_num_format(date, "yyyy-mm-dd");
    lxw_format* money = workbook_add_format(book);
    format_set_num_format(money, "0.00");
    for (int c = 0; c < kColumns; ++c)
        worksheet_write_string(sheet, 0, lxw_col_t(c), kHeader[c], nullptr);
    for (int i = 0; i < rows; ++i) {
        const Row r = MakeRow(i);
        const lxw_row_t at = lxw_row_t(i + 1);
        worksheet_write_number(sheet, at, 0, double(r.id), nullptr);
        worksheet_write_string(sheet, at, 1, r.first, nullptr);
        worksheet_write_string(sheet, at, 2, r.last, nullptr);
        worksheet_write_string(sheet, at, 3, r.email.c_str(), nullptr);
        worksheet_write_string(sheet, at, 4, r.city, nullptr);
        worksheet_write_string(sheet, at, 5, r.company, nullptr);
        worksheet_write_number(sheet, at, 6, r.age, nullptr);
        worksheet_write_number(sheet, at, 7, r.balance, money);
        lxw_datetime when{r.joined.year(), r.joined.month(), r.joined.day(), 0, 0, 0.0};
        worksheet_write_datetime(sheet, at, 8, &when, date);
        worksheet_write_string(sheet, at, 9, r.note, nullptr);
    }
    return workbook_close(book) == LXW_NO_ERROR;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_import_xlsx PATH ROWS\n");
        return 2;
    }
    return WriteXlsx(QString::fromLocal8Bit(argv[1]), std::atoi(argv[2])) ? 0 : 1;
}
