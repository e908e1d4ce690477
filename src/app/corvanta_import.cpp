// corvanta-import: prints what the program reads from a recipient source, for
// users who want to see it and for scripted checks.
//
//   corvanta-import [--sheet NAME | --query SQL] [--no-header] [--tables] FILE
//   corvanta-import --connection STRING --source SOURCE
//   corvanta-import --connection STRING --tables
//
// The first output line names the columns with their type codes
// ("Name:202"); the rows follow as CSV (RFC 4180, UTF-8, CRLF). A Null
// value is an empty field, an empty text is "". With --tables the tables and
// views (worksheets, for a workbook) are printed one per line instead.
// Failures go to standard error as number, source and description, with
// exit status 1; a wrong command line exits with 2.

#include "platform/providers/sql/ConnectionString.h"
#include "platform/providers/Dispatch.h"
#include "platform/recordset/Recordset.h"
#include "recipients/RecipientImport.h"
#include "recipients/RecipientList.h"
#include "recipients/SourceCatalog.h"
#include "base/AppError.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

#include <cstdio>

namespace {

QString CsvField(const QString& text, bool quoteEmpty)
{
    const bool quote = (quoteEmpty && text.isEmpty()) || text.contains(u',') || text.contains(u'"')
                       || text.contains(u'\r') || text.contains(u'\n');
    if (!quote)
        return text;
    QString doubled = text;
    doubled.replace(u'"', QStringLiteral("\"\""));
    return u'"' + doubled + u'"';
}

QString ValueText(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        return dt.toString(dt.time().msec() ? QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")
                                            : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::QTime:
        return value.toTime().toString(QStringLiteral("HH:mm:ss"));
    case QMetaType::QByteArray:
        return QStringLiteral("0x") + QString::fromLatin1(value.toByteArray().toHex());
    default:
        return value.toString();
    }
}

void Write(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void PrintRecordset(Recordset& rs)
{
    const QStringList labels = RecipientImport::ColumnLabels(rs);
    QStringList cells;
    for (int i = 0; i < rs.FieldCount(); ++i)
        cells << CsvField(labels[i] + u':' + QString::number(rs.FieldType(i)), false);
    Write(cells.join(u',') + QStringLiteral("\r\n"));
    const int rows = rs.RecordCount();
    for (int row = 0; row < rows; ++row) {
        cells.clear();
        for (int i = 0; i < rs.FieldCount(); ++i) {
            const QVariant value = rs.ValueAt(row, i);
            cells << CsvField(ValueText(value), value.isValid() && !value.isNull());
        }
        Write(cells.join(u',') + QStringLiteral("\r\n"));
    }
}

void PrintLines(const QStringList& lines)
{
    for (const QString& line : lines)
        Write(line + QStringLiteral("\r\n"));
}

bool IsAddress(const QString& text)
{
    return text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
           || text.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)
           || text.startsWith(QLatin1String("file:"), Qt::CaseInsensitive);
}

// The list the wizard would make for a file: Access by its ending, XML by
// its ending or an address, any other file as a workbook or text file.
RecipientList ListForFile(const QString& path, const QString& table, const QString& query, bool header)
{
    RecipientList list;
    const QString suffix = QFileInfo(path).suffix().toLower();
    const QString absolute = IsAddress(path) ? path : QFileInfo(path).absoluteFilePath();
    if (IsAddress(path) || suffix == QLatin1String("xml")) {
        list.SetDataType(RecipientList::XML);
        list.SetXMLUrlUri(absolute);
        return list;
    }
    if (suffix == QLatin1String("mdb") || suffix == QLatin1String("accdb")) {
        list.SetDataType(RecipientList::Access);
        list.SetAccessFileName(absolute);
    } else {
        list.SetDataType(RecipientList::Excel);
        list.SetExcelFilename(absolute);
        list.SetExcelFirstRowContainsColumnHeadings(header);
    }
    if (!query.isEmpty()) {
        list.SetCatalogCommandType(RecipientList::CmdText);
        list.SetCatalogCommandText(query);
    } else {
        list.SetCatalogCommandType(RecipientList::CmdTable);
        QString chosen = table;
        if (chosen.isEmpty()) {
            const QStringList tables = SourceCatalog::ListTables(list);
            if (tables.isEmpty())
                throw AppError(ProviderDispatch::ErrNoSource, ProviderDispatch::Source,
                               QStringLiteral("The file %1 has no table or worksheet to read.").arg(path));
            chosen = tables.first();
        }
        list.SetCatalogTableOrView(chosen);
    }
    return list;
}

int Run(const QCommandLineParser& parser)
{
    const QStringList files = parser.positionalArguments();
    const bool tables = parser.isSet(QStringLiteral("tables"));
    if (parser.isSet(QStringLiteral("connection"))) {
        const QString connection = parser.value(QStringLiteral("connection"));
        if (tables) {
            QStringList names = ProviderDispatch::TableNames(connection);
            if (ConnectionString::Parse(connection).kind == ConnectionString::Kind::Excel) {
                QStringList sheets;
                for (const QString& name : names)
                    if (const QString sheet = SourceCatalog::ExcelCatalogName(name); !sheet.isEmpty())
                        sheets << sheet;
                names = sheets;
            }
            PrintLines(names);
            return 0;
        }
        ConnectionData data;
        data.SetConnectionString(connection);
        data.SetSource(parser.value(QStringLiteral("source")));
        Recordset rs = RecipientImport::GetRecordset(data);
        PrintRecordset(rs);
        return 0;
    }

    const QString path = files.first();
    const bool header = !parser.isSet(QStringLiteral("no-header"));
    if (tables) {
        RecipientList list = ListForFile(path, QStringLiteral("-"), QString(), header);
        if (list.DataType() == RecipientList::XML)
            throw AppError(ProviderDispatch::ErrNoSource, ProviderDispatch::Source,
                           QStringLiteral("An XML document holds one record set and no tables."));
        PrintLines(SourceCatalog::ListTables(list));
        return 0;
    }
    const QString table = parser.value(QStringLiteral("sheet"));
    const RecipientList list = ListForFile(path, table, parser.value(QStringLiteral("query")), header);
    Recordset rs = RecipientImport::GetRecordset(list);
    PrintRecordset(rs);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvanta-import"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prints the columns (name:type code) and the rows (CSV) that Corvanta reads from a recipient source."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("A workbook (.xls, .xlsx), text file (.csv, .txt), Access file "
                                                "(.mdb, .accdb) or XML record set (path or URL)."));
    parser.addOptions({
        {{QStringLiteral("sheet"), QStringLiteral("table")},
         QStringLiteral("The worksheet or table to read (default: the first)."), QStringLiteral("name")},
        {QStringLiteral("query"), QStringLiteral("A command text to run instead of reading a table."),
         QStringLiteral("sql")},
        {QStringLiteral("no-header"), QStringLiteral("The first worksheet row holds data, not column names.")},
        {QStringLiteral("tables"), QStringLiteral("List the tables and views (or worksheets) instead.")},
        {QStringLiteral("connection"), QStringLiteral("A connection string, as a recipient list holds it."),
         QStringLiteral("string")},
        {QStringLiteral("source"), QStringLiteral("With --connection: a bracketed table name or a command text."),
         QStringLiteral("source")},
    });
    parser.process(app);

    const bool byConnection = parser.isSet(QStringLiteral("connection"));
    const int files = int(parser.positionalArguments().size());
    if ((byConnection && files != 0) || (!byConnection && files != 1)
        || (byConnection && !parser.isSet(QStringLiteral("tables")) && !parser.isSet(QStringLiteral("source")))
        || (parser.isSet(QStringLiteral("sheet")) && parser.isSet(QStringLiteral("query")))) {
        std::fputs(qPrintable(parser.helpText()), stderr);
        return 2;
    }

    try {
        const int status = Run(parser);
        std::fflush(stdout);
        return status;
    } catch (const AppError& error) {
        std::fflush(stdout);
        const QString text = QStringLiteral("Error %1 (%2): %3\n")
                                 .arg(QString::number(error.Number()), error.Source(), error.Description());
        std::fputs(text.toUtf8().constData(), stderr);
        return 1;
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "Error: %s\n", error.what());
        return 1;
    }
}
