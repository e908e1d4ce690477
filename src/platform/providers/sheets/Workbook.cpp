#include "platform/providers/sheets/Workbook.h"

#include "platform/providers/sheets/CsvReader.h"
#include "platform/providers/sheets/WorkbookError.h"
#include "platform/providers/sheets/XlsCompoundFile.h"
#include "platform/providers/sheets/XlsReader.h"
#include "platform/providers/sheets/XlsxReader.h"

#include <QFile>
#include <QFileInfo>

namespace {

bool IsTextSuffix(const QString& suffix)
{
    static const QStringList text{QStringLiteral("csv"), QStringLiteral("tsv"), QStringLiteral("txt"),
                                  QStringLiteral("tab")};
    return text.contains(suffix.toLower());
}

// What a file that is no workbook holds, for the message.
QString Describe(const QByteArray& head)
{
    const QByteArray start = head.trimmed().left(64).toLower();
    if (start.startsWith("<!doctype html") || start.startsWith("<html") || start.contains("<html"))
        return QStringLiteral("a web page (HTML)");
    if (start.startsWith("<?xml") || start.startsWith("<"))
        return QStringLiteral("an XML document");
    if (start.startsWith("%pdf"))
        return QStringLiteral("a PDF document");
    if (start.startsWith("{\\rtf"))
        return QStringLiteral("an RTF document");
    if (head.isEmpty())
        return QStringLiteral("nothing (it is empty)");
    if (!head.contains('\0'))
        return QStringLiteral("plain text; to import it, give it a .csv or .txt ending");
    return QStringLiteral("data of an unknown kind");
}

} // namespace

Workbook::Format Workbook::Detect(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        WorkbookError::Raise(WorkbookError::FileNotFound, QStringLiteral("The file %1 could not be found.").arg(path));
    if (info.isDir())
        WorkbookError::Raise(WorkbookError::FileNotFound, QStringLiteral("%1 is a folder, not a workbook.").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        WorkbookError::Raise(WorkbookError::FileNotFound,
                             QStringLiteral("The file %1 could not be opened: %2").arg(path, file.errorString()));
    const QByteArray head = file.read(512);
    if (XlsCompoundFile::HasSignature(head))
        return Format::Xls;
    if (head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06"))
        return Format::Xlsx;
    if (IsTextSuffix(info.suffix()))
        return Format::Csv;
    WorkbookError::Raise(WorkbookError::NotWorkbook, QStringLiteral("The file %1 is not an Excel workbook: it holds %2.")
                                                         .arg(info.fileName(), Describe(head)));
}

QStringList Workbook::SheetNames(const QString& path)
{
    switch (Detect(path)) {
    case Format::Xls:
        return XlsReader(path).SheetNames();
    case Format::Xlsx:
        return XlsxReader(path).SheetNames();
    case Format::Csv:
        break;
    }
    return {QFileInfo(path).completeBaseName()};
}

QString Workbook::TableName(const QString& sheetName)
{
    bool plain = !sheetName.isEmpty() && !sheetName[0].isDigit();
    for (const QChar c : sheetName)
        plain = plain && (c.isLetterOrNumber() || c == u'_');
    return plain ? sheetName + u'$' : u'\'' + sheetName + QStringLiteral("$'");
}

QStringList Workbook::ListTables(const QString& path)
{
    QStringList tables;
    for (const QString& name : SheetNames(path))
        tables << TableName(name);
    return tables;
}

QString Workbook::ResolveSheetName(const QString& requested, const QStringList& names)
{
    QStringList forms{requested};
    QString s = requested;
    if (s.size() >= 2 && s.startsWith(u'[') && s.endsWith(u']'))
        forms << (s = s.mid(1, s.size() - 2));
    if (s.size() >= 2 && s.startsWith(u'\'') && s.endsWith(u'\''))
        forms << (s = s.mid(1, s.size() - 2));
    if (s.size() >= 2 && s.endsWith(u'$'))
        forms << s.chopped(1);
    for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive})
        for (const QString& form : forms)
            for (const QString& name : names)
                if (name.compare(form, cs) == 0)
                    return name;
    return {};
}

Recordset Workbook::ReadSheet(const QString& path, const QString& sheet, bool header)
{
    const auto read = [&](auto& reader) {
        const QStringList names = reader.SheetNames();
        const QString name = ResolveSheetName(sheet, names);
        if (name.isEmpty())
            WorkbookError::Raise(WorkbookError::SheetNotFound,
                                 QStringLiteral("The workbook %1 has no worksheet named \"%2\"; its worksheets are: %3.")
                                     .arg(QFileInfo(path).fileName(), sheet, names.join(QStringLiteral(", "))));
        return reader.ReadSheet(name, header);
    };
    switch (Detect(path)) {
    case Format::Xls: {
        XlsReader reader(path);
        return read(reader);
    }
    case Format::Xlsx: {
        XlsxReader reader(path);
        return read(reader);
    }
    case Format::Csv:
        break;
    }
    return CsvReader::Read(path, header);
}

Recordset Workbook::ReadSheetPreview(const QString& path, const QString& sheet, bool header, qint64 rows)
{
    if (Detect(path) == Format::Csv)
        return CsvReader::ReadFirstRows(path, header, rows);
    return ReadSheet(path, sheet, header);
}
