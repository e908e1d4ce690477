#include "platform/providers/sheets/XlsxReader.h"

#include "platform/providers/sheets/SheetTable.h"
#include "platform/providers/sheets/SheetValues.h"
#include "platform/providers/sheets/WorkbookError.h"
#include "platform/providers/xml/XmlSafety.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QXmlStreamReader>

#include <unzip.h>

#include <algorithm>
#include <vector>

namespace {

// Inflated size allowed per part. Real worksheets of a million rows stay well
// below; a zip bomb does not.
constexpr qint64 kMaxSheetBytes = qint64(1) << 30;
constexpr qint64 kMaxStringsBytes = qint64(256) << 20;
constexpr qint64 kMaxSmallPartBytes = qint64(64) << 20;
constexpr qint64 kChunk = 1 << 16;
// Real parts unpack to a few dozen times their packed size at most; a zip
// bomb to hundreds of times. Past a grace, what a part has unpacked so far
// is held to this ratio to the packed bytes read for it, so a bomb ends
// after a few megabytes, not when the whole part is read.
constexpr qint64 kMaxRatio = 100;
constexpr qint64 kRatioGraceBytes = qint64(4) << 20;
constexpr int kMaxColumns = 16384;
constexpr int kMaxRows = 1048576;

[[noreturn]] void Damaged(const QString& detail)
{
    WorkbookError::Raise(WorkbookError::Damaged, QStringLiteral("The workbook is damaged: %1").arg(detail));
}

// The zip package, read through the system's minizip (the library the
// workbook writer uses too) with file functions over a file opened here.
class Package
{
public:
    explicit Package(const QString& path) : m_file(path)
    {
        if (!m_file.open(QIODevice::ReadOnly))
            WorkbookError::Raise(WorkbookError::FileNotFound,
                                 QStringLiteral("The file %1 could not be opened: %2").arg(path, m_file.errorString()));
        zlib_filefunc64_def functions{};
        functions.zopen64_file = [](voidpf, const void* file, int) -> voidpf { return const_cast<void*>(file); };
        functions.opaque = this;
        functions.zread_file = [](voidpf package, voidpf file, void* buffer, uLong size) -> uLong {
            const qint64 read = static_cast<QFile*>(file)->read(static_cast<char*>(buffer), qint64(size));
            if (read < 0)
                return 0;
            static_cast<Package*>(package)->m_bytesRead += read;
            return uLong(read);
        };
        functions.zwrite_file = [](voidpf, voidpf, const void*, uLong) -> uLong { return 0; };
        functions.ztell64_file = [](voidpf, voidpf file) -> ZPOS64_T {
            return ZPOS64_T(static_cast<QFile*>(file)->pos());
        };
        functions.zseek64_file = [](voidpf, voidpf file, ZPOS64_T offset, int origin) -> long {
            QFile* f = static_cast<QFile*>(file);
            qint64 base = 0;
            if (origin == ZLIB_FILEFUNC_SEEK_CUR)
                base = f->pos();
            else if (origin == ZLIB_FILEFUNC_SEEK_END)
                base = f->size();
            else if (origin != ZLIB_FILEFUNC_SEEK_SET)
                return -1;
            return f->seek(base + qint64(offset)) ? 0 : -1;
        };
        functions.zclose_file = [](voidpf, voidpf) -> int { return 0; }; // the QFile closes itself
        functions.zerror_file = [](voidpf, voidpf file) -> int {
            return static_cast<QFile*>(file)->error() != QFileDevice::NoError;
        };
        m_zip = unzOpen2_64(&m_file, &functions);
        if (!m_zip)
            Damaged(QStringLiteral("its zip directory cannot be read; the file is incomplete or not a workbook."));
    }

    ~Package()
    {
        if (m_zip)
            unzClose(m_zip);
    }
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    // Makes the part of that name (matched without regard to case) the
    // current one; false when there is none.
    bool Find(const QString& name)
    {
        const QByteArray encoded = name.toUtf8();
        return unzLocateFile(m_zip, encoded.constData(), 2) == UNZ_OK;
    }

    unzFile Handle() const { return m_zip; }
    // Bytes read from the file so far.
    qint64 BytesRead() const { return m_bytesRead; }

private:
    QFile m_file;
    unzFile m_zip = nullptr;
    qint64 m_bytesRead = 0;
};

// One part of the package, parsed while it is inflated.
class Part
{
public:
    Part(Package& zip, const QString& path, qint64 maxBytes)
        : m_package(zip), m_zip(zip.Handle()), m_path(path), m_maxBytes(maxBytes)
    {
        if (!zip.Find(path))
            Damaged(QStringLiteral("the part %1 is missing.").arg(path));
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(m_zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
            Damaged(QStringLiteral("the part %1 cannot be read.").arg(path));
        if (info.flag & 1)
            WorkbookError::Raise(WorkbookError::Encrypted,
                                 QStringLiteral("The workbook is encrypted: its part %1 needs a password.").arg(path));
        if (info.uncompressed_size > quint64(maxBytes))
            TooLarge();
        if (unzOpenCurrentFile(m_zip) != UNZ_OK)
            Damaged(QStringLiteral("the part %1 cannot be read.").arg(path));
        m_open = true;
        m_packedStart = zip.BytesRead();
        XmlSafety::Limit(m_xml);
    }

    ~Part()
    {
        if (m_open)
            unzCloseCurrentFile(m_zip);
    }
    Part(const Part&) = delete;
    Part& operator=(const Part&) = delete;

    QXmlStreamReader& Xml() { return m_xml; }

    QXmlStreamReader::TokenType Next()
    {
        for (;;) {
            const auto token = m_xml.readNext();
            if (token == QXmlStreamReader::Invalid && m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError &&
                !m_atEnd) {
                Feed();
                continue;
            }
            if (token == QXmlStreamReader::DTD)
                WorkbookError::Raise(WorkbookError::Damaged,
                                     QStringLiteral("The workbook part %1 is refused. %2").arg(m_path, XmlSafety::DtdRefusal(m_xml)));
            if (token == QXmlStreamReader::Invalid) {
                if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
                    Damaged(QStringLiteral("the part %1 ends before it is complete.").arg(m_path));
                Damaged(QStringLiteral("the part %1 is not well-formed XML (%2, line %3).")
                            .arg(m_path, m_xml.errorString())
                            .arg(m_xml.lineNumber()));
            }
            return token;
        }
    }

    // The next start element inside the current one; false at its end.
    bool NextChild()
    {
        for (;;) {
            const auto token = Next();
            if (token == QXmlStreamReader::StartElement)
                return true;
            if (token == QXmlStreamReader::EndElement || token == QXmlStreamReader::EndDocument)
                return false;
        }
    }

    // Next start element anywhere below; false at the end of the document.
    bool NextElement()
    {
        for (;;) {
            const auto token = Next();
            if (token == QXmlStreamReader::StartElement)
                return true;
            if (token == QXmlStreamReader::EndDocument)
                return false;
        }
    }

    void Skip()
    {
        for (int depth = 1; depth > 0;) {
            const auto token = Next();
            if (token == QXmlStreamReader::StartElement)
                ++depth;
            else if (token == QXmlStreamReader::EndElement)
                --depth;
        }
    }

    // The text of the current element, including that of any children.
    QString Text()
    {
        QString text;
        for (int depth = 1; depth > 0;) {
            const auto token = Next();
            if (token == QXmlStreamReader::Characters)
                text += m_xml.text();
            else if (token == QXmlStreamReader::StartElement)
                ++depth;
            else if (token == QXmlStreamReader::EndElement)
                --depth;
        }
        return text;
    }

private:
    [[noreturn]] void TooLarge()
    {
        WorkbookError::Raise(WorkbookError::TooLarge,
                             QStringLiteral("The workbook part %1 unpacks to more than %2 MB, more than can be "
                                            "imported; the file may be a zip bomb.")
                                 .arg(m_path)
                                 .arg(m_maxBytes >> 20));
    }

    void Feed()
    {
        QByteArray chunk(kChunk, Qt::Uninitialized);
        const int read = unzReadCurrentFile(m_zip, chunk.data(), unsigned(kChunk));
        if (read < 0)
            Damaged(QStringLiteral("the part %1 cannot be unpacked.").arg(m_path));
        if (read == 0) {
            // The end: the checksum of what was inflated is checked on closing.
            m_open = false;
            if (unzCloseCurrentFile(m_zip) != UNZ_OK)
                Damaged(QStringLiteral("the part %1 cannot be unpacked.").arg(m_path));
            m_atEnd = true;
            return;
        }
        m_read += read;
        if (m_read > m_maxBytes)
            TooLarge();
        if (m_read > kRatioGraceBytes && m_read > kMaxRatio * (m_package.BytesRead() - m_packedStart))
            WorkbookError::Raise(WorkbookError::TooLarge,
                                 QStringLiteral("The workbook part %1 unpacks to more than %2 times its packed size, "
                                                "more than any real worksheet; the file may be a zip bomb.")
                                     .arg(m_path)
                                     .arg(kMaxRatio));
        chunk.truncate(read);
        m_xml.addData(chunk);
    }

    const Package& m_package;
    unzFile m_zip;
    QString m_path;
    qint64 m_maxBytes;
    qint64 m_packedStart = 0;
    bool m_open = false;
    QXmlStreamReader m_xml;
    qint64 m_read = 0;
    bool m_atEnd = false;
};

struct Relationship
{
    QString type;
    QString target; // a part path inside the package
};

// The folder of a part, and a relationship target resolved against it.
QString ResolveTarget(const QString& sourcePart, const QString& target)
{
    if (target.startsWith(u'/'))
        return QDir::cleanPath(target.mid(1));
    const qsizetype slash = sourcePart.lastIndexOf(u'/');
    const QString folder = slash < 0 ? QString() : sourcePart.left(slash + 1);
    return QDir::cleanPath(folder + target);
}

QString RelsPathOf(const QString& part)
{
    const qsizetype slash = part.lastIndexOf(u'/');
    return part.left(slash + 1) + QStringLiteral("_rels/") + part.mid(slash + 1) + QStringLiteral(".rels");
}

bool TypeIs(const QString& type, QStringView last)
{
    return type.endsWith(u'/' + last.toString(), Qt::CaseInsensitive);
}

// "_x000D_" and the like stand for characters XML cannot hold as they are.
QString DecodeEscapes(const QString& text)
{
    if (!text.contains(u"_x"))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && text[i + 6] == u'_') {
            bool ok = false;
            const uint code = QStringView(text).mid(i + 2, 4).toUInt(&ok, 16);
            if (ok) {
                out += QChar(char16_t(code));
                i += 6;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// "B12" as 0-based column and row; false when it is no cell reference.
bool ParseCellReference(QStringView ref, int& column, int& row)
{
    qsizetype i = 0;
    qint64 c = 0, r = 0;
    for (; i < ref.size() && ref[i].isLetter(); ++i) {
        const char16_t l = ref[i].toUpper().unicode();
        if (l < u'A' || l > u'Z')
            return false;
        c = c * 26 + (l - u'A' + 1);
        if (c > kMaxColumns)
            return false;
    }
    if (i == 0 || i == ref.size())
        return false;
    for (; i < ref.size(); ++i) {
        const char16_t d = ref[i].unicode();
        if (d < u'0' || d > u'9')
            return false;
        r = r * 10 + (d - u'0');
        if (r > kMaxRows)
            return false;
    }
    if (r < 1)
        return false;
    column = int(c - 1);
    row = int(r - 1);
    return true;
}

} // namespace

struct XlsxReader::Impl
{
    QString path;
    Package zip;
    QString workbookPart;
    struct Sheet
    {
        QString name;
        QString part;
    };
    std::vector<Sheet> sheets;
    bool date1904 = false;
    QString stringsPart, stylesPart;
    std::vector<bool> dateStyles; // by cell format index
    QStringList strings;
    bool stringsLoaded = false;

    explicit Impl(const QString& file) : path(file), zip(file) {}

    QHash<QString, Relationship> ReadRelationships(const QString& sourcePart, bool required)
    {
        QHash<QString, Relationship> relationships;
        const QString relsPath = RelsPathOf(sourcePart);
        if (!zip.Find(relsPath)) {
            if (required)
                Damaged(QStringLiteral("its relationships part %1 is missing.").arg(relsPath));
            return relationships;
        }
        Part part(zip, relsPath, kMaxSmallPartBytes);
        while (part.NextElement()) {
            if (part.Xml().name() != u"Relationship")
                continue;
            const QXmlStreamAttributes a = part.Xml().attributes();
            if (a.value(QLatin1String("TargetMode")).compare(u"External", Qt::CaseInsensitive) == 0)
                continue;
            relationships.insert(a.value(QLatin1String("Id")).toString(),
                                 {a.value(QLatin1String("Type")).toString(),
                                  ResolveTarget(sourcePart, a.value(QLatin1String("Target")).toString())});
        }
        return relationships;
    }

    void Open()
    {
        // The package's own relationships name the workbook part.
        for (const Relationship& r : ReadRelationships(QString(), true))
            if (TypeIs(r.type, u"officeDocument"))
                workbookPart = r.target;
        if (workbookPart.isEmpty() || !workbookPart.endsWith(u".xml", Qt::CaseInsensitive) ||
            !zip.Find(workbookPart))
            WorkbookError::Raise(WorkbookError::NotWorkbook,
                                 QStringLiteral("The file %1 is a zip package, but not an Excel workbook.")
                                     .arg(QFileInfo(path).fileName()));

        const QHash<QString, Relationship> relationships = ReadRelationships(workbookPart, false);
        for (const Relationship& r : relationships) {
            if (TypeIs(r.type, u"sharedStrings"))
                stringsPart = r.target;
            else if (TypeIs(r.type, u"styles"))
                stylesPart = r.target;
        }

        ReadWorkbook(relationships);
        if (sheets.empty())
            Damaged(QStringLiteral("it lists no worksheets."));
        if (!stylesPart.isEmpty())
            ReadStyles();
    }

    void ReadWorkbook(const QHash<QString, Relationship>& relationships)
    {
        Part part(zip, workbookPart, kMaxSmallPartBytes);
        while (part.NextElement()) {
            const QStringView name = part.Xml().name();
            const QXmlStreamAttributes a = part.Xml().attributes();
            if (name == u"workbookPr") {
                const QStringView flag = a.value(QLatin1String("date1904"));
                date1904 = flag == u"1" || flag.compare(u"true", Qt::CaseInsensitive) == 0;
            } else if (name == u"sheet") {
                // The relationship id may stand under any prefix.
                QString id;
                for (const QXmlStreamAttribute& attribute : a)
                    if (attribute.name() == u"id" && !attribute.namespaceUri().isEmpty())
                        id = attribute.value().toString();
                const auto r = relationships.constFind(id);
                if (r == relationships.cend() || !TypeIs(r->type, u"worksheet"))
                    continue; // chart and dialog sheets hold no cells
                sheets.push_back({a.value(QLatin1String("name")).toString(), r->target});
            } else if (name == u"definedNames" || name == u"extLst") {
                part.Skip();
            }
        }
    }

    void ReadStyles()
    {
        QHash<int, bool> custom;
        Part part(zip, stylesPart, kMaxSmallPartBytes);
        while (part.NextElement()) {
            const QStringView name = part.Xml().name();
            if (name == u"numFmt") {
                const QXmlStreamAttributes a = part.Xml().attributes();
                custom.insert(a.value(QLatin1String("numFmtId")).toInt(),
                              SheetValues::IsDateFormatCode(a.value(QLatin1String("formatCode")).toString()));
            } else if (name == u"cellXfs") {
                while (part.NextChild()) {
                    if (part.Xml().name() == u"xf") {
                        const int id = part.Xml().attributes().value(QLatin1String("numFmtId")).toInt();
                        dateStyles.push_back(custom.contains(id) ? custom.value(id) : SheetValues::IsBuiltInDateFormat(id));
                    }
                    part.Skip();
                }
            } else if (name == u"cellStyleXfs" || name == u"dxfs" || name == u"fonts" || name == u"fills" ||
                       name == u"borders" || name == u"extLst") {
                part.Skip();
            }
        }
    }

    // Rich text runs joined; phonetic guides left out. Runs inside runs are
    // followed with a depth count, not recursion: a part can nest them deeper
    // than the stack goes. The escapes are decoded once, over the whole text.
    QString RichText(Part& part)
    {
        QString text;
        for (int depth = 1; depth > 0;) {
            if (!part.NextChild()) {
                --depth;
                continue;
            }
            const QStringView name = part.Xml().name();
            if (name == u"t")
                text += part.Text();
            else if (name == u"r")
                ++depth;
            else
                part.Skip();
        }
        return DecodeEscapes(text);
    }

    void LoadStrings()
    {
        if (stringsLoaded)
            return;
        stringsLoaded = true;
        if (stringsPart.isEmpty() || !zip.Find(stringsPart))
            return;
        Part part(zip, stringsPart, kMaxStringsBytes);
        while (part.NextElement())
            if (part.Xml().name() == u"si")
                strings.append(RichText(part));
    }

    Recordset Read(const Sheet& sheet, bool header)
    {
        LoadStrings();
        SheetTable table;
        Part part(zip, sheet.part, kMaxSheetBytes);
        while (part.NextElement()) {
            if (part.Xml().name() == u"sheetData") {
                ReadRows(part, table);
                break; // what follows the cells is of no use here
            }
        }
        return table.TakeRecordset(header);
    }

    void ReadRows(Part& part, SheetTable& table)
    {
        int row = -1;
        while (part.NextChild()) {
            if (part.Xml().name() != u"row") {
                part.Skip();
                continue;
            }
            const QStringView r = part.Xml().attributes().value(QLatin1String("r"));
            if (r.isEmpty()) {
                ++row;
            } else {
                bool ok = false;
                const int number = r.toInt(&ok);
                if (!ok || number < 1 || number > kMaxRows)
                    Damaged(QStringLiteral("a row has the number \"%1\".").arg(r.toString()));
                row = number - 1;
            }
            int column = -1;
            while (part.NextChild()) {
                if (part.Xml().name() != u"c") {
                    part.Skip();
                    continue;
                }
                ReadCell(part, table, row, column);
            }
        }
    }

    void ReadCell(Part& part, SheetTable& table, int row, int& column)
    {
        const QXmlStreamAttributes a = part.Xml().attributes();
        const QStringView ref = a.value(QLatin1String("r"));
        if (ref.isEmpty()) {
            ++column;
        } else {
            int refRow = 0;
            if (!ParseCellReference(ref, column, refRow))
                Damaged(QStringLiteral("a cell has the reference \"%1\".").arg(ref.toString()));
        }
        if (column >= kMaxColumns)
            Damaged(QStringLiteral("a row has more than %1 cells.").arg(kMaxColumns));
        const QString type = a.value(QLatin1String("t")).toString();
        const int style = a.value(QLatin1String("s")).toInt();
        QString value;
        bool hasValue = false;
        while (part.NextChild()) {
            const QStringView name = part.Xml().name();
            if (name == u"v") {
                value = part.Text();
                hasValue = true;
            } else if (name == u"is") {
                value = RichText(part);
                hasValue = true;
            } else {
                part.Skip(); // the formula itself; its last result is in <v>
            }
        }
        if (!hasValue)
            return;
        if (type == u"s") {
            bool ok = false;
            const int index = value.trimmed().toInt(&ok);
            if (!ok || index < 0 || index >= strings.size())
                Damaged(QStringLiteral("a cell refers to the shared string %1, which is not there.").arg(value));
            table.SetText(row, column, strings[index]);
        } else if (type == u"str" || type == u"inlineStr") {
            table.SetText(row, column, type == u"str" ? DecodeEscapes(value) : value);
        } else if (type == u"b") {
            table.SetBoolean(row, column, value.trimmed() == u"1" || value.trimmed().compare(u"true", Qt::CaseInsensitive) == 0);
        } else if (type == u"e") {
            table.SetError(row, column);
        } else if (type == u"d") {
            QDateTime at = QDateTime::fromString(value.trimmed(), Qt::ISODateWithMs);
            if (at.isValid())
                at = QDateTime(at.date(), at.time(), Qt::UTC);
            table.SetDate(row, column, at);
        } else {
            if (value.trimmed().isEmpty())
                return;
            bool ok = false;
            const double number = value.trimmed().toDouble(&ok);
            if (!ok)
                Damaged(QStringLiteral("a number cell holds \"%1\".").arg(value.left(40)));
            if (style >= 0 && size_t(style) < dateStyles.size() && dateStyles[size_t(style)])
                table.SetDate(row, column, SheetValues::SerialToDateTime(number, date1904));
            else
                table.SetNumber(row, column, number);
        }
    }
};

XlsxReader::XlsxReader(const QString& path) : d(std::make_unique<Impl>(path))
{
    d->Open();
}

XlsxReader::~XlsxReader() = default;

QStringList XlsxReader::SheetNames() const
{
    QStringList names;
    for (const auto& sheet : d->sheets)
        names << sheet.name;
    return names;
}

Recordset XlsxReader::ReadSheet(const QString& name, bool header)
{
    for (const auto& sheet : d->sheets)
        if (sheet.name == name)
            return d->Read(sheet, header);
    WorkbookError::Raise(WorkbookError::SheetNotFound,
                         QStringLiteral("The workbook has no worksheet named \"%1\".").arg(name));
}
