#include "platform/providers/sheets/XlsReader.h"

#include "platform/providers/sheets/SheetTable.h"
#include "platform/providers/sheets/WorkbookError.h"
#include "platform/providers/sheets/XlsCompoundFile.h"

#include <QFile>
#include <QFileInfo>

#include <memory>

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

// A workbook stream read from the file itself, as the records are gone
// through: the stream of a large workbook is never whole in memory.
class FileStream final : public XlsStream
{
public:
    FileStream(std::unique_ptr<QFile> file, XlsCompoundFile::Extent extent)
        : m_file(std::move(file)), m_extent(std::move(extent))
    {
    }

    QByteArray Read(qint64 at, qint64 length) const override
    {
        const qint64 size = qint64(m_extent.size);
        if (at < 0 || at >= size || length <= 0)
            return {};
        length = std::min(length, size - at);
        const qint64 sectorSize = m_extent.sectorSize;
        const std::vector<qint64>& offsets = m_extent.sectorOffsets;
        QByteArray out(length, Qt::Uninitialized);
        for (qint64 done = 0; done < length;) {
            const qint64 position = at + done;
            size_t sector = size_t(position / sectorSize);
            const qint64 from = offsets[sector] + position % sectorSize;
            // Sectors that follow each other in the file are read at once.
            qint64 run = sectorSize - position % sectorSize;
            while (done + run < length && sector + 1 < offsets.size() &&
                   offsets[sector + 1] == offsets[sector] + sectorSize) {
                run += sectorSize;
                ++sector;
            }
            run = std::min(run, length - done);
            if (!m_file->seek(from) || m_file->read(out.data() + done, run) != run) {
                out.truncate(qsizetype(done)); // the file changed under us: what was read
                return out;
            }
            done += run;
        }
        return out;
    }

private:
    std::unique_ptr<QFile> m_file; // reading moves its position, nothing else
    XlsCompoundFile::Extent m_extent;
};

// The workbook stream of the file, once it is known to be there and readable.
std::shared_ptr<const XlsStream> WorkbookStream(const QString& path)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        WorkbookError::Raise(WorkbookError::FileNotFound,
                             QStringLiteral("The file %1 could not be opened: %2").arg(path, file->errorString()));
    if (file->size() > kMaxFileBytes)
        WorkbookError::Raise(WorkbookError::TooLarge,
                             QStringLiteral("The workbook %1 is larger than %2 MB, more than can be imported.")
                                 .arg(FileName(path))
                                 .arg(kMaxFileBytes >> 20));
    const QByteArray bytes = file->readAll();
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
        // A large stream is read from the file as needed; a small one (kept
        // in the mini stream) is taken whole.
        if (auto extent = container.StreamExtent(name))
            return std::make_shared<FileStream>(std::move(file), std::move(*extent));
        if (auto stream = container.Stream(name))
            return std::make_shared<XlsMemoryStream>(std::move(*stream));
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
