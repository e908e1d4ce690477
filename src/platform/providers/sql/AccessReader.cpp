#include "platform/providers/sql/AccessReader.h"

#include "base/AppError.h"
#include "platform/providers/sheets/SheetValues.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include <mdbtools.h>

namespace {

const QString kSource = QStringLiteral("Access");

// A damaged length must not ask for gigabytes: a memo is never longer.
constexpr size_t kLargestText = size_t(64) << 20;

void (*g_progress)() = nullptr;

void Progress()
{
    if (g_progress)
        g_progress();
}

// Complex columns of Access 2007 and later; libmdb has no name for them.
constexpr int kComplexType = 0x12;
// "Date/Time Extended" of Access 2019: text "days:ticks:precision", days
// since 1 January of the year 1, ticks of 100 ns into the day.
constexpr int kExtendedDateType = 0x14;

[[noreturn]] void Raise(long number, const QString& description)
{
    throw AppError(number, kSource, description);
}

struct GFree
{
    void operator()(char* p) const { g_free(p); }
};
using GString = std::unique_ptr<char, GFree>;

// The header of Jet 4 and later keeps the database password at 0x42,
// scrambled with a fixed RC4 stream over 0x18..0x95 and then with the low
// bytes of the file's creation date. Jet 3 keeps 20 bytes without the date.
bool HeaderHasPassword(const QByteArray& header)
{
    if (header.size() < 0x96)
        return false;
    unsigned char s[256];
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<unsigned char>(i);
    const unsigned char key[4] = {0xc7, 0xda, 0x39, 0x6b};
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % 4]) & 0xff;
        std::swap(s[i], s[j]);
    }
    unsigned char plain[126];
    for (int n = 0, i = 0, j = 0; n < 126; ++n) {
        i = (i + 1) & 0xff;
        j = (j + s[i]) & 0xff;
        std::swap(s[i], s[j]);
        plain[n] = static_cast<unsigned char>(header[0x18 + n]) ^ s[(s[i] + s[j]) & 0xff];
    }
    const bool jet3 = header[0x14] == 0;
    unsigned char mask[4] = {0, 0, 0, 0};
    if (!jet3) {
        double created = 0;
        std::memcpy(&created, plain + (0x72 - 0x18), sizeof created);
        if (!std::isfinite(created) || std::fabs(created) > 1e9)
            return false;
        const auto days = static_cast<quint32>(static_cast<qint32>(created));
        for (int b = 0; b < 4; ++b)
            mask[b] = static_cast<unsigned char>(days >> (8 * b));
    }
    const int length = jet3 ? 20 : 40;
    for (int n = 0; n < length; ++n) {
        if ((plain[(0x42 - 0x18) + n] ^ mask[n % 4]) != 0)
            return true;
    }
    return false;
}

int AdoTypeOf(const MdbColumn& col)
{
    switch (col.col_type) {
    case MDB_BOOL: return AdoType::Boolean;
    case MDB_BYTE: return AdoType::UnsignedTinyInt;
    case MDB_INT: return AdoType::SmallInt;
    case MDB_LONGINT: return AdoType::Integer;
    case MDB_MONEY: return AdoType::Currency;
    case MDB_FLOAT: return AdoType::Single;
    case MDB_DOUBLE: return AdoType::Double;
    case MDB_DATETIME:
    case kExtendedDateType: return AdoType::Date;
    case MDB_BINARY: return AdoType::VarBinary;
    case MDB_TEXT: return AdoType::VarWChar;
    case MDB_OLE: return AdoType::LongVarBinary;
    case MDB_MEMO: return AdoType::LongVarWChar;
    case MDB_REPID: return AdoType::Guid;
    case MDB_NUMERIC: return AdoType::Numeric;
    case kComplexType: return AdoType::Integer;
    default: return AdoType::VarWChar;
    }
}

qint64 DefinedSizeOf(const MdbColumn& col, bool jet3)
{
    switch (col.col_type) {
    case MDB_TEXT: return jet3 ? col.col_size : col.col_size / 2;
    case MDB_MEMO: return 536870910;
    case MDB_OLE: return 1073741823;
    case MDB_BINARY: return col.col_size;
    case MDB_REPID: return 16;
    case MDB_NUMERIC: return 19;
    case MDB_BOOL: return 2;
    case MDB_BYTE: return 1;
    case MDB_INT: return 2;
    case MDB_FLOAT: return 4;
    case MDB_LONGINT:
    case kComplexType: return 4;
    default: return 8;
    }
}

// Days since 30 December 1899, the fraction the time of day. Before that day
// the whole part counts back while the fraction still counts forward.
QVariant DateFromDays(double value)
{
    if (!std::isfinite(value) || std::fabs(value) > 3000000.0)
        return {};
    const double whole = std::trunc(value);
    qint64 ms = std::llround(std::fabs(value - whole) * 86400000.0);
    qint64 days = static_cast<qint64>(whole);
    if (ms >= 86400000) {
        ms -= 86400000;
        days += 1;
    }
    const QDate date = QDate(1899, 12, 30).addDays(days);
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(ms)));
}

QVariant ExtendedDate(const unsigned char* text, int length)
{
    const QList<QByteArray> parts =
        QByteArray(reinterpret_cast<const char*>(text), length).trimmed().split(':');
    if (parts.size() < 2)
        return {};
    bool daysOk = false;
    bool ticksOk = false;
    const qint64 days = parts[0].toLongLong(&daysOk);
    const qint64 ticks = parts[1].toLongLong(&ticksOk);
    if (!daysOk || !ticksOk || days < 0 || days > 3652058 || ticks < 0 || ticks >= 864000000000LL)
        return {};
    return QDateTime(QDate(1, 1, 1).addDays(days), QTime::fromMSecsSinceStartOfDay(int(ticks / 10000)));
}

[[noreturn]] void RaiseDamagedValue(const MdbColumn& col, const QString& table, const QString& why)
{
    Raise(AccessReader::ErrDamaged, QStringLiteral("The value of column '%1' in table '%2' cannot be read: %3 The "
                                                   "file is damaged.")
                                        .arg(QString::fromUtf8(col.name), table, why));
}

QVariant GuidValue(MdbHandle* mdb, const MdbColumn& col)
{
    mdb_set_bind_size(mdb, 64);
    GString text(mdb_col_to_string(mdb, mdb->pg_buf, col.cur_value_start, col.col_type, col.cur_value_len));
    if (!text)
        return {};
    return QString::fromUtf8(text.get());
}

// Text as Jet keeps it. Jet 3: the writer's code page, read as
// Windows-1252. Jet 4 and later: UTF-16, surrogate pairs included, or when
// it starts with FF FE "compressed": runs of one-byte characters (the low
// byte of U+0000..U+00FF) and of two-byte ones, each 00 byte switching
// between them.
QString DecodeText(const unsigned char* p, size_t n, bool jet3)
{
    if (jet3)
        return SheetValues::DecodeWindows1252(reinterpret_cast<const char*>(p), qsizetype(n));
    QString text;
    if (n >= 2 && p[0] == 0xff && p[1] == 0xfe) {
        text.reserve(qsizetype(n));
        bool oneByte = true;
        for (size_t i = 2; i < n;) {
            if (p[i] == 0) {
                oneByte = !oneByte;
                ++i;
            } else if (oneByte) {
                text.append(QChar(char16_t(p[i++])));
            } else if (i + 1 < n) {
                text.append(QChar(char16_t(p[i] | p[i + 1] << 8)));
                i += 2;
            } else {
                break; // half a character
            }
        }
        return text;
    }
    text.resize(qsizetype(n / 2));
    for (size_t i = 0; i + 1 < n; i += 2)
        text[qsizetype(i / 2)] = QChar(char16_t(p[i] | p[i + 1] << 8));
    return text;
}

// A row of a long-value page: the bytes from its offset to the next row's.
QByteArrayView LongValueRow(MdbHandle* mdb, quint32 pageRow)
{
    void* page = nullptr;
    int start = 0;
    size_t length = 0;
    if (pageRow == 0 || mdb_find_pg_row(mdb, int(pageRow), &page, &start, &length) != 0)
        return {};
    const size_t offset = size_t(start) & 0x1fff;
    const size_t pageSize = size_t(mdb->fmt->pg_size);
    if (length > pageSize || offset > pageSize - length)
        return {};
    return QByteArrayView(static_cast<const char*>(page) + offset, qsizetype(length));
}

// A memo's bytes. Its 12-byte head gives the length and where the bytes
// are: in the row itself, in one row of a long-value page, or in a chain of
// such rows, each starting with the page and row of the next.
QByteArray MemoBytes(MdbHandle* mdb, const MdbColumn& col, const QString& table)
{
    if (col.cur_value_len < MDB_MEMO_OVERHEAD)
        RaiseDamagedValue(col, table, QStringLiteral("it is shorter than its own head."));
    const unsigned char* head = mdb->pg_buf + col.cur_value_start;
    const quint32 word = qFromLittleEndian<quint32>(head);
    const size_t length = word & 0x3fffffff;
    if (word & 0x80000000u)
        return QByteArray(reinterpret_cast<const char*>(head) + MDB_MEMO_OVERHEAD,
                          col.cur_value_len - MDB_MEMO_OVERHEAD);
    if (length > kLargestText)
        RaiseDamagedValue(col, table, QStringLiteral("its length is given as %L1 bytes.").arg(length));
    quint32 next = qFromLittleEndian<quint32>(head + 4);
    if (word & 0x40000000u) {
        const QByteArrayView row = LongValueRow(mdb, next);
        if (row.isNull())
            RaiseDamagedValue(col, table, QStringLiteral("its text lies outside the file."));
        return row.first(std::min(row.size(), qsizetype(length))).toByteArray();
    }
    if (word & 0xff000000u)
        RaiseDamagedValue(col, table, QStringLiteral("its kind is unknown."));
    // Each link must add bytes, and no more than the length, so a chain
    // that loops back on itself ends.
    QByteArray bytes;
    while (size_t(bytes.size()) < length) {
        const QByteArrayView row = LongValueRow(mdb, next);
        if (row.size() <= 4 || size_t(bytes.size() + row.size() - 4) > length)
            RaiseDamagedValue(col, table, QStringLiteral("its text is cut off or lies outside the file."));
        next = qFromLittleEndian<quint32>(row.data());
        bytes.append(row.sliced(4));
    }
    return bytes;
}

// The bytes a value of the column's type is read from, at least: the fixed
// types read their whole width whatever length the row gives them, memos
// and OLE objects their 12-byte header.
int BytesRead(const MdbColumn& col)
{
    const int length = col.cur_value_len;
    switch (col.col_type) {
    case MDB_BYTE: return std::max(length, 1);
    case MDB_INT: return std::max(length, 2);
    case MDB_LONGINT:
    case MDB_FLOAT:
    case kComplexType: return std::max(length, 4);
    case MDB_DOUBLE:
    case MDB_DATETIME:
    case MDB_MONEY: return std::max(length, 8);
    case MDB_REPID: return std::max(length, 16);
    case MDB_NUMERIC: return std::max(length, 17);
    case MDB_MEMO:
    case MDB_OLE: return std::max(length, MDB_MEMO_OVERHEAD);
    default: return length;
    }
}

// A calculated column (Access 2010) keeps its last result behind a 16-byte
// head and the result's length, in the type of the expression's result (the
// column's "ResultType"); a memo result is itself a memo whose bytes are so
// wrapped. Text and memo results are read here; results of other types
// read as libmdb finds them.
QByteArrayView CalculatedResult(QByteArrayView value)
{
    constexpr qsizetype kHead = 20;
    if (value.size() < kHead)
        return value;
    const auto length = qFromLittleEndian<qint32>(value.data() + 16);
    return value.sliced(kHead, std::clamp<qsizetype>(length, 0, value.size() - kHead));
}

QVariant ReadValue(MdbHandle* mdb, MdbColumn& col, const QString& table, bool jet3, int resultType)
{
    // libmdb keeps a Boolean in the row's null mask: "null" means false.
    if (col.col_type == MDB_BOOL)
        return col.cur_value_len == 0;
    if (col.cur_value_len == 0)
        return {};
    // libmdb takes a value's place from the row's own offset table and only
    // checks that it ends inside the row: a damaged row can give a negative
    // length, or a width too small for the type.
    const int pageSize = int(mdb->fmt->pg_size);
    const int needed = BytesRead(col);
    if (col.cur_value_start < 0 || col.cur_value_len < 0 || needed > pageSize
        || col.cur_value_start > pageSize - needed)
        RaiseDamagedValue(col, table, QStringLiteral("its row points outside its page."));
    void* row = mdb->pg_buf;
    const int at = col.cur_value_start;
    switch (col.col_type) {
    case MDB_BYTE: return int(mdb_get_byte(row, at));
    case MDB_INT: return int(static_cast<qint16>(mdb_get_int16(row, at)));
    case MDB_LONGINT:
    case kComplexType: return int(static_cast<qint32>(mdb_get_int32(row, at)));
    case MDB_FLOAT: return double(mdb_get_single(row, at));
    case MDB_DOUBLE: return mdb_get_double(row, at);
    case MDB_DATETIME: return DateFromDays(mdb_get_double(row, at));
    case kExtendedDateType: return ExtendedDate(mdb->pg_buf + at, col.cur_value_len);
    case MDB_MONEY: {
        qint64 units = 0;
        std::memcpy(&units, mdb->pg_buf + at, sizeof units);
        units = qFromLittleEndian(units);
        return double(units) / 10000.0;
    }
    case MDB_BINARY:
        return QByteArray(reinterpret_cast<const char*>(mdb->pg_buf) + at, col.cur_value_len);
    case MDB_NUMERIC: {
        GString text(mdb_numeric_to_string(mdb, at, col.col_scale, col.col_prec));
        if (!text)
            return {};
        bool ok = false;
        const double number = QByteArray(text.get()).toDouble(&ok);
        return ok ? QVariant(number) : QVariant();
    }
    case MDB_TEXT: {
        if (resultType != MDB_TEXT && resultType != MDB_MEMO)
            return DecodeText(mdb->pg_buf + at, size_t(col.cur_value_len), jet3);
        const QByteArray bytes =
            resultType == MDB_MEMO
                ? MemoBytes(mdb, col, table)
                : QByteArray::fromRawData(reinterpret_cast<const char*>(mdb->pg_buf) + at, col.cur_value_len);
        const QByteArrayView result = CalculatedResult(bytes);
        return DecodeText(reinterpret_cast<const unsigned char*>(result.data()), size_t(result.size()), jet3);
    }
    case MDB_MEMO: {
        const QByteArray bytes = MemoBytes(mdb, col, table);
        return DecodeText(reinterpret_cast<const unsigned char*>(bytes.constData()), size_t(bytes.size()), jet3);
    }
    case MDB_REPID: return GuidValue(mdb, col);
    default: return {}; // OLE objects and types libmdb cannot convert
    }
}

QString Unbracket(const QString& source)
{
    const QString name = source.trimmed();
    if (name.size() >= 2 && name.startsWith(u'[') && name.endsWith(u']'))
        return name.mid(1, name.size() - 2);
    return name;
}

bool IsListedQuery(const MdbCatalogEntry& entry)
{
    // Select queries have no kind bits; a "~" marks the hidden ones behind
    // forms and reports.
    return entry.object_type == MDB_QUERY && (entry.flags & 0xf0) == 0 && (entry.flags & 0x8) == 0
           && entry.object_name[0] != '~';
}

bool IsListedTable(MdbCatalogEntry& entry)
{
    return mdb_is_user_table(&entry) && std::strncmp(entry.object_name, "MSys", 4) != 0
           && entry.object_name[0] != '~';
}

} // namespace

struct AccessReader::Handle
{
    MdbHandle* mdb = nullptr;
    ~Handle()
    {
        if (mdb)
            mdb_close(mdb);
    }
};

AccessReader::AccessReader(const QString& fileName) : m_handle(std::make_unique<Handle>()), m_fileName(fileName)
{
    const QFileInfo info(fileName);
    if (fileName.isEmpty() || !info.isFile())
        Raise(ErrNotFound, QStringLiteral("Could not find file '%1'.").arg(fileName));
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        Raise(ErrNotFound, QStringLiteral("Could not open file '%1': %2").arg(fileName, file.errorString()));
    if (HeaderHasPassword(file.read(0x100)))
        Raise(ErrPassword, QStringLiteral("The file '%1' is protected with a database password; password "
                                          "protected Access files cannot be read.")
                               .arg(fileName));
    file.close();

    const QString unrecognized = QStringLiteral("Unrecognized database format '%1'.").arg(fileName);
    m_handle->mdb = mdb_open(QFile::encodeName(fileName).constData(), MDB_NOFLAGS);
    if (!m_handle->mdb)
        Raise(ErrDamaged, unrecognized);
    MdbHandle* mdb = m_handle->mdb;
    Progress();
    if (!mdb_read_catalog(mdb, MDB_ANY))
        Raise(ErrDamaged, unrecognized);
    Progress();
    // Every sound file lists its own object table; a file cut short does not.
    bool hasObjects = false;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        hasObjects = hasObjects || std::strcmp(entry->object_name, "MSysObjects") == 0;
    }
    if (!hasObjects)
        Raise(ErrDamaged, unrecognized);
}

AccessReader::~AccessReader() = default;

QList<AccessReader::CatalogEntry> AccessReader::Catalog() const
{
    QList<CatalogEntry> entries;
    MdbHandle* mdb = m_handle->mdb;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (IsListedTable(*entry))
            entries.append({QString::fromUtf8(entry->object_name), QStringLiteral("TABLE")});
        else if (IsListedQuery(*entry))
            entries.append({QString::fromUtf8(entry->object_name), QStringLiteral("VIEW")});
    }
    return entries;
}

QStringList AccessReader::TableNames() const
{
    QStringList names;
    for (const CatalogEntry& entry : Catalog())
        names.append(entry.Name);
    return names;
}

Recordset AccessReader::OpenTable(const QString& source) const
{
    const QString name = Unbracket(source);
    MdbHandle* mdb = m_handle->mdb;
    MdbCatalogEntry* found = nullptr;
    for (unsigned i = 0; i < mdb->num_catalog && !found; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if ((IsListedTable(*entry) || IsListedQuery(*entry))
            && QString::fromUtf8(entry->object_name).compare(name, Qt::CaseInsensitive) == 0)
            found = entry;
    }
    if (!found)
        Raise(ErrNoObject, QStringLiteral("The Microsoft Access database engine cannot find the input table or "
                                          "query '%1'. Make sure it exists and that its name is spelled correctly.")
                               .arg(name));
    if (found->object_type == MDB_QUERY)
        Raise(ErrNotSupported, QStringLiteral("'%1' is a saved query; saved queries of Access files cannot be run "
                                              "here. Choose a table, or a command text.")
                                   .arg(name));

    const QString tableName = QString::fromUtf8(found->object_name);
    std::unique_ptr<MdbTableDef, void (*)(MdbTableDef*)> table(mdb_read_table(found), mdb_free_tabledef);
    if (!table || !mdb_read_columns(table.get()))
        Raise(ErrDamaged, QStringLiteral("The table '%1' cannot be read: the file '%2' is damaged.")
                              .arg(tableName, m_fileName));
    mdb_rewind_table(table.get());
    Progress();

    const bool jet3 = mdb->f->jet_version == MDB_VER_JET3;
    std::vector<MdbColumn*> columns;
    std::vector<int> resultTypes; // of calculated columns; 0 for the others
    Recordset rs;
    for (unsigned c = 0; c < table->num_cols; ++c) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
        columns.push_back(col);
        const char* resultType = mdb_col_get_prop(col, "ResultType");
        resultTypes.push_back(resultType ? QByteArray(resultType).toInt() : 0);
        rs.AppendField(QString::fromUtf8(col->name), AdoTypeOf(*col), DefinedSizeOf(*col, jet3));
    }
    rs.Open();

    std::vector<QVariant> row(columns.size());
    unsigned count = 0;
    while (mdb_fetch_row(table.get())) {
        for (size_t c = 0; c < columns.size(); ++c)
            row[c] = ReadValue(mdb, *columns[c], tableName, jet3, resultTypes[c]);
        rs.AppendRow(std::span<const QVariant>(row));
        if (++count % 64 == 0)
            Progress();
    }
    // libmdb stops quietly at a page it cannot read; the stored count tells.
    if (count < table->num_rows)
        Raise(ErrDamaged, QStringLiteral("The table '%1' cannot be read in full (%2 of %3 rows): the file '%4' is "
                                         "damaged.")
                              .arg(tableName)
                              .arg(count)
                              .arg(table->num_rows)
                              .arg(m_fileName));
    return rs;
}

void AccessReader::SetProgress(void (*progress)())
{
    g_progress = progress;
}

bool AccessReader::HasDatabasePassword(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) && HeaderHasPassword(file.read(0x100));
}
