#include "platform/providers/sheets/XlsReader.h"

#include "platform/providers/sheets/SheetTable.h"
#include "platform/providers/sheets/WorkbookError.h"
#include "platform/providers/sheets/XlsCompoundFile.h"

#include <QFile>
#include <QFileInfo>

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

[[noreturn]] void Damaged(const QString& path, const QString& what)
{
    WorkbookError::Raise(WorkbookError::Damaged,
                         QStringLiteral("The workbook %1 is damaged or incomplete: %2").arg(FileName(path), what));
}

// The workbook stream of the file, once it is known to be there and readable.
QByteArray WorkbookStream(const QString& path)
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
    const QByteArray bytes = file.readAll();
    if (!XlsCompoundFile::HasSignature(bytes))
        WorkbookError::Raise(WorkbookError::NotWorkbook,
                             QStringLiteral("The file %1 is not an Excel 97-2003 workbook.").arg(FileName(path)));
    const XlsCompoundFile container(bytes);
    if (!container.IsValid())
        Damaged(path, QStringLiteral("its compound file structure cannot be read."));
    const QStringList streams = container.StreamNames();
    if (streams.contains(QStringLiteral("EncryptedPackage"), Qt::CaseInsensitive))
        Encrypted(path);
    // Excel names the stream "Workbook"; Excel 5 and some other writers "Book".
    for (const QString& name : {QStringLiteral("Workbook"), QStringLiteral("Book")}) {
        if (!streams.contains(name, Qt::CaseInsensitive))
            continue;
        if (auto stream = container.Stream(name))
            return std::move(*stream);
        Damaged(path, QStringLiteral("its workbook stream is cut short or broken."));
    }
    WorkbookError::Raise(WorkbookError::NotWorkbook,
                         QStringLiteral("The file %1 holds no workbook stream that can be read (it may come from "
                                        "another program or an old Excel version).")
                             .arg(FileName(path)));
}

} // namespace

XlsReader::XlsReader(const QString& path) : m_records(WorkbookStream(path))
{
    if (m_records.IsEncrypted())
        Encrypted(path);
    m_names = m_records.SheetNames();
    if (m_names.isEmpty())
        Damaged(path, QStringLiteral("its records cannot be read."));
}

void XlsReader::ReadCells(const QString& name, SheetCellSink& sink) const
{
    if (!m_names.contains(name))
        WorkbookError::Raise(WorkbookError::SheetNotFound,
                             QStringLiteral("The workbook has no worksheet named \"%1\".").arg(name));
    m_records.ReadCells(name, sink);
}

Recordset XlsReader::ReadSheet(const QString& name, bool header) const
{
    // The records stay in memory, so going over them twice costs less than
    // holding every cell.
    return SheetTable::FromTwoPasses(header, [&](SheetCellSink& sink) { ReadCells(name, sink); });
}
