// Figures for the import of recipient lists on this machine: CSV, .xlsx and
// XML record set files of 100,000 and 1,000,000 rows, and an .xls file at its
// 65,536 row limit, ten columns each, read the way a real import reads them
// (RecipientImport::GetRecordset), beside Debian's python3 readers of the same
// files: csv, openpyxl (read-only), xlrd, and ElementTree.iterparse for the XML
// record set (a plain streaming parse, no types).
//
// Every import runs in a process of its own so that each peak memory reading
// is that import's alone: this program starts itself with "--read" and starts
// bench_import_python.py once per file. The files are made once per run, in a
// temporary folder, and are not timed.
//
// Build in Release; run scripts/bench-import.sh, or build-dir/bench/bench_import
// [--sizes 100000,1000000] [--xls-rows 65536] [--python /usr/bin/python3]
// [--script bench/bench_import_python.py] [--keep DIR].

#include "ImportRows.h"
#include "MemoryProbe.h"
#include "RecipientTable.h"
#include "platform/providers/xml/XmlRecordsetWriter.h"
#include "platform/recordset/Recordset.h"
#include "recipients/ConnectionData.h"
#include "recipients/RecipientImport.h"
#include "base/AppError.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <xlsxwriter.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using MemoryProbe::StatusKb;

namespace {

using namespace ImportRows;

// --- the files -------------------------------------------------------------

void CsvField(std::string& out, const char* text)
{
    if (!std::strpbrk(text, ",\"\r\n")) {
        out += text;
        return;
    }
    out += '"';
    for (const char* p = text; *p; ++p) {
        if (*p == '"')
            out += '"';
        out += *p;
    }
    out += '"';
}

bool WriteCsv(const QString& path, int rows)
{
    FILE* f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f)
        return false;
    std::string line;
    for (int c = 0; c < kColumns; ++c)
        line += std::string(c ? "," : "") + kHeader[c];
    line += "\r\n";
    std::fwrite(line.data(), 1, line.size(), f);
    char number[64];
    for (int i = 0; i < rows; ++i) {
        const Row r = MakeRow(i);
        line.clear();
        line += std::to_string(r.id) + ',';
        CsvField(line, r.first);
        line += ',';
        CsvField(line, r.last);
        line += ',' + r.email + ',';
        CsvField(line, r.city);
        line += ',';
        CsvField(line, r.company);
        std::snprintf(number, sizeof number, ",%d,%.2f,%s,", r.age, r.balance,
                      r.joined.toString(Qt::ISODate).toLatin1().constData());
        line += number;
        CsvField(line, r.note);
        line += "\r\n";
        std::fwrite(line.data(), 1, line.size(), f);
    }
    return std::fclose(f) == 0;
}

// With libxlsxwriter, as the error report is written (constant memory mode).
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

bool WriteXml(const QString& path, int rows)
{
    Recordset rs = OpenRecipientTable(QStringLiteral("Company"), 255);
    QVariantList values(kColumns);
    for (int i = 0; i < rows; ++i) {
        const Row r = MakeRow(i);
        values[0] = int(r.id);
        values[1] = QString::fromUtf8(r.first);
        values[2] = QString::fromUtf8(r.last);
        values[3] = QString::fromStdString(r.email);
        values[4] = QString::fromUtf8(r.city);
        values[5] = QString::fromUtf8(r.company);
        values[6] = r.age;
        values[7] = r.balance;
        values[8] = QDateTime(r.joined, QTime(0, 0));
        values[9] = QString::fromUtf8(r.note);
        rs.AppendRow(values);
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    XmlRecordsetWriter::Write(rs, file);
    return file.error() == QFileDevice::NoError;
}

// The uncompressed size of the worksheet and shared string parts of an .xlsx
// package, from its central directory: the text the reader has to parse.
qint64 XlsxSheetTextBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const qint64 size = file.size();
    const qint64 tail = qMin<qint64>(size, 65536 + 22);
    file.seek(size - tail);
    const QByteArray end = file.read(tail);
    const int eocd = end.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (eocd < 0 || eocd + 22 > end.size())
        return -1;
    auto u16 = [](const char* p) { return quint32(quint8(p[0])) | quint32(quint8(p[1])) << 8; };
    auto u32 = [&](const char* p) { return u16(p) | u16(p + 2) << 16; };
    const char* e = end.constData() + eocd;
    const quint32 entries = u16(e + 10);
    const quint32 directorySize = u32(e + 12);
    const quint32 directoryOffset = u32(e + 16);
    file.seek(directoryOffset);
    const QByteArray dir = file.read(directorySize);
    qint64 total = 0;
    int at = 0;
    for (quint32 n = 0; n < entries && at + 46 <= dir.size(); ++n) {
        const char* h = dir.constData() + at;
        if (u32(h) != 0x02014b50)
            return -1;
        const quint32 uncompressed = u32(h + 24);
        const int nameLength = int(u16(h + 28));
        const QByteArray entry(h + 46, nameLength);
        if (uncompressed == 0xFFFFFFFFu)
            return -1; // zip64 sizes: not written at these sizes
        if (entry.startsWith("xl/worksheets/") || entry == "xl/sharedStrings.xml")
            total += uncompressed;
        at += 46 + nameLength + int(u16(h + 30)) + int(u16(h + 32));
    }
    return total;
}

// --- one import, in this process ---------------------------------------------

// Processor time of this process, user and system, in seconds: on a shared
// machine the wall clock also counts other programs' turns.
double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Prints "rows cells wall cpu peak_kb start_kb types" for the import of one
// file: an XML document as an XML list, anything else as a worksheet list.
int ReadOne(const QString& format, const QString& path)
{
    ConnectionData data;
    if (format == u"xml") {
        data.SetConnectionType(ConnectionData::XmlHttp);
        data.SetUrl(path);
    } else {
        data.SetConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Extended Properties=\"Excel 8.0;"
                                                "DATABASE=%1;HDR=Yes\";Mode=Read;Persist Security Info=False")
                                     .arg(path));
        data.SetSource(QStringLiteral("[Sheet1$]"));
    }
    const qint64 startKb = StatusKb("VmHWM");
    QElapsedTimer timer;
    const double cpuBefore = CpuSeconds();
    timer.start();
    Recordset rs;
    try {
        rs = RecipientImport::GetRecordset(data);
    } catch (const AppError& e) {
        std::fprintf(stderr, "import failed: %ld %s\n", e.Number(), qPrintable(e.Description()));
        return 1;
    }
    const double wall = double(timer.nsecsElapsed()) / 1e9;
    const double cpu = CpuSeconds() - cpuBefore;
    const qint64 peakKb = StatusKb("VmHWM");

    // Not timed: proves every value arrived.
    const int rows = rs.RecordCount();
    long long cells = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < rs.FieldCount(); ++c)
            cells += rs.IsNullAt(r, c) ? 0 : 1;
    QStringList types;
    for (int c = 0; c < rs.FieldCount(); ++c)
        types << QString::number(rs.FieldType(c));
    std::printf("%d %lld %.4f %.4f %lld %lld %s\n", rows, cells, wall, cpu, static_cast<long long>(peakKb),
                static_cast<long long>(startKb), qPrintable(types.join(u',')));
    return 0;
}

// --- the run -----------------------------------------------------------------

struct Reading
{
    bool ok = false;
    long long rows = 0;
    long long cells = 0;
    double wall = 0;
    double cpu = 0;
    qint64 peakKb = 0;
    qint64 startKb = 0;
    QString types;
    QString error;
};

Reading RunProcess(const QString& program, const QStringList& arguments)
{
    Reading reading;
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(-1) || !process.waitForFinished(-1)) {
        reading.error = process.errorString();
        return reading;
    }
    const QByteArray err = process.readAllStandardError().trimmed();
    const QList<QByteArray> lines = process.readAllStandardOutput().trimmed().split('\n');
    const QList<QByteArray> parts = lines.last().split(' ');
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 || parts.size() < 5) {
        reading.error = QString::fromUtf8(err.isEmpty() ? lines.last() : err);
        return reading;
    }
    reading.rows = parts[0].toLongLong();
    reading.cells = parts[1].toLongLong();
    reading.wall = parts[2].toDouble();
    reading.cpu = parts[3].toDouble();
    reading.peakKb = parts[4].toLongLong();
    if (parts.size() > 5)
        reading.startKb = parts[5].toLongLong();
    if (parts.size() > 6)
        reading.types = QString::fromUtf8(parts[6]);
    reading.ok = true;
    return reading;
}

struct Job
{
    QString format;    // csv, xlsx, xls, xml
    int rows = 0;      // data rows
    bool header = true;
    QString path;
    qint64 fileBytes = 0;
    qint64 textBytes = 0;
};

double Mb(qint64 bytes)
{
    return double(bytes) / (1024.0 * 1024.0);
}

const char* Verdict(bool met)
{
    return met ? "met" : "MISSED";
}

QList<int> ParseSizes(const QString& text)
{
    QList<int> sizes;
    for (const QString& part : text.split(u',', Qt::SkipEmptyParts))
        sizes << part.toInt();
    return sizes;
}

int Run(const QStringList& args)
{
    QList<int> sizes{100000, 1000000};
    int xlsRows = 65536; // the format's limit, header included
    QString python = QStringLiteral("/usr/bin/python3");
    QString script = QStringLiteral(BENCH_IMPORT_PYTHON_SCRIPT);
    QString keep;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == u"--sizes")
            sizes = ParseSizes(args[i + 1]);
        else if (args[i] == u"--xls-rows")
            xlsRows = args[i + 1].toInt();
        else if (args[i] == u"--python")
            python = args[i + 1];
        else if (args[i] == u"--script")
            script = args[i + 1];
        else if (args[i] == u"--keep")
            keep = args[i + 1];
    }

    QTemporaryDir temporary;
    const QString dir = keep.isEmpty() ? temporary.path() : keep;
    QDir().mkpath(dir);

    // Made once and shared by both sides; not part of any figure but this one.
    QElapsedTimer making;
    making.start();
    QList<Job> jobs;
    for (int rows : sizes) {
        const QString stem = dir + QStringLiteral("/recipients-%1").arg(rows);
        Job csv{QStringLiteral("csv"), rows, true, stem + QStringLiteral(".csv")};
        Job xlsx{QStringLiteral("xlsx"), rows, true, stem + QStringLiteral(".xlsx")};
        Job xml{QStringLiteral("xml"), rows, false, stem + QStringLiteral(".xml")};
        if (!WriteCsv(csv.path, rows) || !WriteXlsx(xlsx.path, rows) || !WriteXml(xml.path, rows)) {
            std::fprintf(stderr, "could not write the files of %d rows in %s\n", rows, qPrintable(dir));
            return 1;
        }
        jobs << csv << xlsx << xml;
    }
    if (xlsRows > 1) {
        Job xls{QStringLiteral("xls"), xlsRows - 1, true, dir + QStringLiteral("/recipients-%1.xls").arg(xlsRows)};
        QProcess writer;
        writer.setProcessChannelMode(QProcess::ForwardedChannels);
        writer.start(python, {script, QStringLiteral("write-xls"), xls.path, QString::number(xlsRows)});
        if (!writer.waitForFinished(-1) || writer.exitCode() != 0) {
            std::fprintf(stderr, "could not write the .xls file with %s %s\n", qPrintable(python), qPrintable(script));
            return 1;
        }
        jobs << xls;
    }
    for (Job& job : jobs) {
        job.fileBytes = QFileInfo(job.path).size();
        job.textBytes = job.format == u"xlsx" ? XlsxSheetTextBytes(job.path) : job.fileBytes;
    }
    std::printf("Files made in %.1f s in %s (not timed below)\n", double(making.nsecsElapsed()) / 1e9,
                qPrintable(dir));
    std::printf("Text size: the file itself for CSV and XML; for .xlsx the uncompressed sheet XML (inline\n"
                "strings, no shared string part); for .xls the file (binary records, no text form).\n"
                "Peak: the whole process's VmHWM (both sides), start-up included.\n"
                "Python peers: csv.reader; openpyxl.load_workbook(read_only=True) iter_rows(values_only);\n"
                "xlrd.open_workbook + row_values; xml.etree.ElementTree.iterparse (rows dropped as read).\n\n");

    std::printf("%-5s %8s %8s %8s | %8s %8s %9s %8s %6s | %8s %8s %8s | %6s %6s | %s\n", "fmt", "rows",
                "file MB", "text MB", "wall s", "cpu s", "rows/s", "peak MB", "/text", "py wall", "py cpu",
                "py peak", "x wall", "x cpu", "cells ours/py");
    std::fflush(stdout);
    struct Line
    {
        Job job;
        Reading ours;
        Reading py;
    };
    QList<Line> lines;
    const QString self = QCoreApplication::applicationFilePath();
    for (const Job& job : jobs) {
        Line line{job, RunProcess(self, {QStringLiteral("--read"), job.format, job.path}),
                  RunProcess(python, {script, QStringLiteral("read"), job.format, job.path})};
        // The python readers count the header row as a row.
        if (line.py.ok && job.header) {
            line.py.rows -= 1;
            line.py.cells -= kColumns;
        }
        const Reading& o = line.ours;
        const Reading& p = line.py;
        std::printf("%-5s %8d %8.1f %8.1f | ", qPrintable(job.format), job.rows, Mb(job.fileBytes), Mb(job.textBytes));
        if (o.ok)
            std::printf("%8.3f %8.3f %9.0f %8.1f %6.2f | ", o.wall, o.cpu, double(o.rows) / o.wall,
                        double(o.peakKb) / 1024, double(o.peakKb) * 1024 / double(job.textBytes));
        else
            std::printf("%-49s | ", "failed");
        if (p.ok)
            std::printf("%8.3f %8.3f %8.1f | ", p.wall, p.cpu, double(p.peakKb) / 1024);
        else
            std::printf("%-26s | ", "failed");
        if (o.ok && p.ok)
            std::printf("%6.1f %6.1f | %lld/%lld%s\n", p.wall / o.wall, p.cpu / o.cpu, o.cells, p.cells,
                        o.cells == p.cells && o.rows == job.rows ? "" : " MISMATCH");
        else
            std::printf("\n");
        if (!o.ok)
            std::printf("  ours: %s\n", qPrintable(o.error));
        if (!p.ok)
            std::printf("  python: %s\n", qPrintable(p.error));
        std::fflush(stdout);
        lines << line;
    }

    std::printf("\nGoals (printed beside the figures, not enforced):\n");
    for (const Line& line : lines) {
        const Reading& o = line.ours;
        const Reading& p = line.py;
        if (!o.ok || !p.ok)
            continue;
        const double peakRatio = double(o.peakKb) * 1024 / double(line.job.textBytes);
        const double aboveStart = double(o.peakKb - o.startKb) * 1024 / double(line.job.textBytes);
        // .xls against xlrd: twice its speed, and the peak measured without
        // the process's own start-up (about a file's size already).
        const bool xls = line.job.format == u"xls";
        const double speedGoal = xls ? 2 : 5;
        const double peakGoalRatio = xls ? aboveStart : peakRatio;
        std::printf("  %-4s %7d: >=%.0fx python: %.1fx wall %s, %.1fx cpu %s; peak%s < 3x %s: %.2fx %s"
                    " (%.2fx with start-up, %.2fx above it)",
                    qPrintable(line.job.format), line.job.rows, speedGoal, p.wall / o.wall,
                    Verdict(p.wall / o.wall >= speedGoal), p.cpu / o.cpu, Verdict(p.cpu / o.cpu >= speedGoal),
                    xls ? " above start-up" : "", xls ? "file" : "text", peakGoalRatio, Verdict(peakGoalRatio < 3),
                    peakRatio, aboveStart);
        if (line.job.format == u"csv" && line.job.rows == 1000000)
            std::printf("; under 2 s: %.2f s wall %s, %.2f s cpu %s", o.wall, Verdict(o.wall < 2), o.cpu,
                        Verdict(o.cpu < 2));
        std::printf("\n");
    }
    std::printf("\nColumn types read (ours):");
    for (const Line& line : lines)
        if (line.ours.ok && line.job.rows == lines.first().job.rows)
            std::printf(" %s=[%s]", qPrintable(line.job.format), qPrintable(line.ours.types));
    for (const Line& line : lines)
        if (line.ours.ok && line.job.format == u"xls")
            std::printf(" xls=[%s]", qPrintable(line.ours.types));
    std::printf("\nProcess start-up before the import (ours, VmHWM):");
    for (const Line& line : lines)
        if (line.ours.ok)
            std::printf(" %s/%d %.1f MB", qPrintable(line.job.format), line.job.rows, double(line.ours.startKb) / 1024);
    std::printf("\n");
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == u"--read")
        return ReadOne(args[2], args[3]);
    return Run(args);
}
