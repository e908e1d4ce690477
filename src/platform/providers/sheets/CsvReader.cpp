#include "platform/providers/sheets/CsvReader.h"

#include "platform/providers/sheets/CsvFormat.h"
#include "platform/providers/sheets/SheetValues.h"
#include "platform/providers/sheets/WorkbookError.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <csv.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <exception>
#include <vector>

using SheetValues::Kind;

namespace {

constexpr qint64 kChunk = 1 << 16;

// --- what a field holds -------------------------------------------------

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "-12", "0.5", "01.30", "1234.50": no sign "+", no exponent, no blanks, no
// leading zero on a whole number ("08123" is a code, not 8123), at most 15
// significant digits, so that the number gives back what the text meant.
bool IsPlainNumber(const char* p, size_t n)
{
    size_t i = 0;
    if (i < n && p[i] == '-')
        ++i;
    const size_t start = i;
    while (i < n && IsDigit(p[i]))
        ++i;
    const size_t integerDigits = i - start;
    if (integerDigits == 0)
        return false;
    int significant = 0;
    bool leading = true;
    for (size_t k = start; k < i; ++k) {
        leading = leading && p[k] == '0';
        significant += leading ? 0 : 1;
    }
    if (i < n && p[i] == '.') {
        ++i;
        const size_t fraction = i;
        while (i < n && IsDigit(p[i])) {
            leading = leading && p[i] == '0';
            significant += leading ? 0 : 1;
            ++i;
        }
        if (i == fraction)
            return false;
    } else if (integerDigits > 1 && p[start] == '0') {
        return false;
    }
    return i == n && significant <= 15;
}

int Number2(const char* p)
{
    return (p[0] - '0') * 10 + (p[1] - '0');
}

// Digits from p[i] on, at least `least` and at most `most`; -1 when fewer.
int ReadDigits(const char* p, size_t n, size_t& i, int least, int most)
{
    int value = 0, count = 0;
    while (i < n && count < most && IsDigit(p[i])) {
        value = value * 10 + (p[i] - '0');
        ++i;
        ++count;
    }
    return count >= least ? value : -1;
}

// "yyyy-MM-dd[ |T]HH:mm[:ss]" or "M/d/yyyy[ H:mm[:ss]]".
bool ParseDate(const char* p, size_t n, QDateTime* out)
{
    int year = 0, month = 0, day = 0;
    size_t i = 0;
    if (n >= 10 && p[4] == '-' && p[7] == '-') {
        for (size_t k : {0, 1, 2, 3, 5, 6, 8, 9})
            if (!IsDigit(p[k]))
                return false;
        year = Number2(p) * 100 + Number2(p + 2);
        month = Number2(p + 5);
        day = Number2(p + 8);
        i = 10;
        if (i < n && p[i] != ' ' && p[i] != 'T')
            return false;
    } else {
        month = ReadDigits(p, n, i, 1, 2);
        if (month < 0 || i >= n || p[i++] != '/')
            return false;
        day = ReadDigits(p, n, i, 1, 2);
        if (day < 0 || i >= n || p[i++] != '/')
            return false;
        year = ReadDigits(p, n, i, 4, 4);
        if (year < 0 || (i < n && p[i] != ' '))
            return false;
    }
    if (!QDate::isValid(year, month, day))
        return false;
    int hour = 0, minute = 0, second = 0;
    if (i < n) {
        ++i; // the blank or the "T"
        hour = ReadDigits(p, n, i, 1, 2);
        if (hour < 0 || i >= n || p[i++] != ':')
            return false;
        minute = ReadDigits(p, n, i, 2, 2);
        if (minute < 0)
            return false;
        if (i < n) {
            if (p[i++] != ':')
                return false;
            second = ReadDigits(p, n, i, 2, 2);
            if (second < 0)
                return false;
        }
        if (i != n || !QTime::isValid(hour, minute, second))
            return false;
    }
    if (out)
        *out = QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
    return true;
}

bool EqualsNoCase(const char* p, size_t n, const char* word)
{
    for (size_t i = 0; i < n; ++i)
        if (!word[i] || (p[i] | 0x20) != word[i])
            return false;
    return word[n] == '\0';
}

Kind Classify(const char* p, size_t n)
{
    if (n == 0)
        return Kind::Empty;
    if (IsPlainNumber(p, n))
        return Kind::Number;
    if (EqualsNoCase(p, n, "true") || EqualsNoCase(p, n, "false"))
        return Kind::Boolean;
    if (n >= 8 && ParseDate(p, n, nullptr))
        return Kind::Date;
    return Kind::Text;
}

// --- the file as a stream of UTF-8 (or Windows-1252) bytes ---------------

class Input
{
public:
    // `size`: the file's size when it was first opened. Reading must give
    // exactly that many bytes, or another program changed the file meanwhile.
    Input(const QString& path, const CsvFormat& format, qint64 size) : m_file(path), m_size(size)
    {
        if (!m_file.open(QIODevice::ReadOnly))
            WorkbookError::Raise(WorkbookError::FileNotFound,
                                 QStringLiteral("The file %1 could not be opened: %2").arg(path, m_file.errorString()));
        m_file.seek(format.bomLength);
        m_position = format.bomLength;
        switch (format.encoding) {
        case CsvFormat::Encoding::Utf16LE: m_decoder = QStringDecoder(QStringDecoder::Utf16LE); break;
        case CsvFormat::Encoding::Utf16BE: m_decoder = QStringDecoder(QStringDecoder::Utf16BE); break;
        case CsvFormat::Encoding::Utf32LE: m_decoder = QStringDecoder(QStringDecoder::Utf32LE); break;
        case CsvFormat::Encoding::Utf32BE: m_decoder = QStringDecoder(QStringDecoder::Utf32BE); break;
        default: break;
        }
        m_skip = format.sepLineLength;
        m_buffer.resize(kChunk);
    }

    // The next piece of text, valid until the next call; false at the end.
    // One buffer serves every read, so a large file does not churn memory.
    bool Next(QByteArrayView& chunk)
    {
        for (;;) {
            const qint64 read = m_file.read(m_buffer.data(), kChunk);
            if (read < 0)
                WorkbookError::Raise(WorkbookError::Damaged, QStringLiteral("The text file %1 could not be read: %2")
                                                                 .arg(Name(), m_file.errorString()));
            m_position += read;
            if (read == 0 || m_position > m_size) {
                if (m_position != m_size)
                    WorkbookError::Raise(WorkbookError::Damaged,
                                         QStringLiteral("The text file %1 changed while it was read: it held %L2 bytes, "
                                                        "then %L3. Another program may be writing it; import it when "
                                                        "that is done.")
                                             .arg(Name())
                                             .arg(m_size)
                                             .arg(m_position));
                return false;
            }
            chunk = QByteArrayView(m_buffer.constData(), qsizetype(read));
            if (m_decoder.isValid()) {
                m_converted = QString(m_decoder.decode(chunk)).toUtf8();
                chunk = m_converted;
            }
            if (m_skip > 0) {
                const qsizetype cut = std::min(m_skip, chunk.size());
                chunk = chunk.sliced(cut);
                m_skip -= cut;
            }
            if (!chunk.isEmpty())
                return true;
        }
    }

private:
    QString Name() const { return QFileInfo(m_file.fileName()).fileName(); }

    QFile m_file;
    const qint64 m_size;
    qint64 m_position = 0;
    QStringDecoder m_decoder;
    QByteArray m_buffer;
    QByteArray m_converted;
    qsizetype m_skip = 0;
};

// Checks UTF-8 piece by piece as the file streams by: well-formed sequences,
// no overlong forms, no surrogates, nothing above U+10FFFF.
class Utf8Check
{
public:
    void Feed(QByteArrayView bytes)
    {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        const qsizetype n = bytes.size();
        for (qsizetype i = 0; i < n && m_valid; ++i) {
            const unsigned char c = p[i];
            if (m_need == 0) {
                // Plain ASCII goes eight bytes at a time.
                while (i + 8 <= n) {
                    quint64 word;
                    std::memcpy(&word, p + i, 8);
                    if (word & 0x8080808080808080ULL)
                        break;
                    i += 8;
                }
                if (i >= n)
                    break;
                const unsigned char lead = p[i];
                if (lead < 0x80)
                    continue;
                if (lead >= 0xC2 && lead <= 0xDF) {
                    m_need = 1;
                    m_low = 0x80, m_high = 0xBF;
                } else if (lead >= 0xE0 && lead <= 0xEF) {
                    m_need = 2;
                    m_low = lead == 0xE0 ? 0xA0 : 0x80;
                    m_high = lead == 0xED ? 0x9F : 0xBF;
                } else if (lead >= 0xF0 && lead <= 0xF4) {
                    m_need = 3;
                    m_low = lead == 0xF0 ? 0x90 : 0x80;
                    m_high = lead == 0xF4 ? 0x8F : 0xBF;
                } else {
                    m_valid = false;
                }
                continue;
            }
            if (c < m_low || c > m_high) {
                m_valid = false;
                break;
            }
            m_low = 0x80, m_high = 0xBF;
            --m_need;
        }
    }

    bool Valid() const { return m_valid && m_need == 0; }
    // For a sample that stops inside the file: a character may go on in the
    // bytes not read yet.
    bool ValidSoFar() const { return m_valid; }

private:
    bool m_valid = true;
    int m_need = 0;
    unsigned char m_low = 0x80, m_high = 0xBF;
};

// --- the two passes ------------------------------------------------------

struct ColumnState
{
    unsigned seen = 0;          // kinds seen, one bit each
    qsizetype longestBytes = 0;
    qsizetype longestChars = 0; // in UTF-8: bytes that start a character

    void Add(const char* p, size_t length)
    {
        constexpr unsigned text = 1u << unsigned(Kind::Text);
        if (!(seen & text)) {
            const Kind kind = Classify(p, length);
            if (kind != Kind::Empty)
                seen |= 1u << unsigned(kind);
        }
        longestBytes = std::max(longestBytes, qsizetype(length));
        // A value shorter in bytes can still hold more characters than the
        // longest so far; only one with no more bytes than that many
        // characters cannot.
        if (qsizetype(length) > longestChars) {
            qsizetype chars = 0;
            for (size_t i = 0; i < length; ++i)
                chars += (static_cast<unsigned char>(p[i]) & 0xC0) != 0x80;
            longestChars = std::max(longestChars, chars);
        }
    }

    SheetValues::ColumnGuess Guess(bool utf8) const
    {
        SheetValues::ColumnGuess guess;
        for (Kind kind : {Kind::Number, Kind::Text, Kind::Boolean, Kind::Date})
            if (seen & (1u << unsigned(kind)))
                guess.Add(kind, utf8 ? longestChars : longestBytes);
        return guess;
    }
};

// What a scan of the file (or of its first rows) found.
struct Scan
{
    int width = 0;
    std::vector<ColumnState> columns;
    std::vector<QByteArray> names; // the header row, as bytes
    bool utf8 = true;
    bool complete = false; // the whole file was scanned
};

struct Pass
{
    bool header = false;
    bool utf8 = true;
    int column = 0;
    qint64 records = 0;
    qint64 maxRecords = -1; // stop feeding the parser after this many (a sample)
    bool tooManyColumns = false;
    std::exception_ptr failure;

    Scan* scan = nullptr; // scanning

    // Loading
    Recordset* set = nullptr;
    std::vector<int> types;
    std::vector<QVariant> values;
    // When the types come from a sample, every value is checked against them;
    // one that does not fit stops the load, and the whole file is scanned.
    bool verify = false;
    bool misfit = false;
    std::vector<ColumnState> seen;
    std::vector<bool> known; // the sample had a value in the column

    bool InHeader() const { return header && records == 0; }
    bool Stopped() const { return misfit || failure || (maxRecords >= 0 && records >= maxRecords); }

    QString Decode(const char* p, size_t n) const
    {
        return utf8 ? QString::fromUtf8(p, qsizetype(n)) : SheetValues::DecodeWindows1252(p, qsizetype(n));
    }

    // Decodes into the column's own buffer, which the value then shares until
    // the row is stored; so text cells cost no allocation once a buffer is big
    // enough.
    std::vector<QString> buffers;
    QStringDecoder decoder{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless};

    void DecodeInto(int column, const char* p, size_t n, QVariant& value)
    {
        if (!utf8) {
            value = SheetValues::DecodeWindows1252(p, qsizetype(n));
            return;
        }
        QString& buffer = buffers[size_t(column)];
        buffer.resize(qsizetype(n)); // UTF-16 never needs more units than UTF-8 has bytes
        QChar* end = decoder.appendToBuffer(buffer.data(), QByteArrayView(p, qsizetype(n)));
        buffer.truncate(end - buffer.constData());
        value = buffer;
    }

    // Whether a value still fits the type its column was given.
    bool Fits(int column, const char* p, size_t length)
    {
        if (column >= int(types.size()))
            return false;
        if (length == 0)
            return true;
        if (!known[size_t(column)])
            return false; // the full scan might give this column another type
        ColumnState& state = seen[size_t(column)];
        state.Add(p, length);
        const auto guess = state.Guess(utf8);
        const int type = types[size_t(column)];
        return guess.AdoType() == type || (type == AdoType::LongVarWChar && guess.IsText());
    }
};

void ScanField(void* data, size_t length, void* context)
{
    Pass& pass = *static_cast<Pass*>(context);
    if (pass.Stopped())
        return;
    const char* p = static_cast<const char*>(data);
    const int column = pass.column++;
    if (column >= CsvReader::kMaxColumns) {
        pass.tooManyColumns = true;
        return;
    }
    Scan& scan = *pass.scan;
    if (pass.InHeader()) {
        scan.names.emplace_back(p, qsizetype(length));
        return;
    }
    if (column >= int(scan.columns.size()))
        scan.columns.resize(size_t(column) + 1);
    scan.columns[size_t(column)].Add(p, length);
}

void ScanRecord(int, void* context)
{
    Pass& pass = *static_cast<Pass*>(context);
    if (pass.Stopped())
        return;
    pass.scan->width = std::max(pass.scan->width, std::min(pass.column, CsvReader::kMaxColumns));
    pass.column = 0;
    ++pass.records;
}

void LoadField(void* data, size_t length, void* context)
{
    Pass& pass = *static_cast<Pass*>(context);
    const int column = pass.column++;
    if (pass.Stopped() || pass.InHeader())
        return;
    const char* p = static_cast<const char*>(data);
    if (pass.verify && !pass.Fits(column, p, length)) {
        pass.misfit = true;
        return;
    }
    if (column >= int(pass.values.size()) || length == 0)
        return;
    QVariant& value = pass.values[size_t(column)];
    switch (pass.types[size_t(column)]) {
    case AdoType::Double: {
        double number = 0;
        std::from_chars(p, p + length, number);
        value = number;
        break;
    }
    case AdoType::Boolean:
        value = (p[0] | 0x20) == 't';
        break;
    case AdoType::Date: {
        QDateTime at;
        ParseDate(p, length, &at);
        value = at;
        break;
    }
    default:
        pass.DecodeInto(column, p, length, value);
    }
}

void LoadRecord(int, void* context)
{
    Pass& pass = *static_cast<Pass*>(context);
    pass.column = 0;
    if (pass.Stopped())
        return;
    if (!pass.InHeader()) {
        // Exceptions must not cross the C parser; they are raised again after it returns.
        try {
            pass.set->AppendRow(pass.values);
        } catch (...) {
            pass.failure = std::current_exception();
        }
    }
    std::fill(pass.values.begin(), pass.values.end(), QVariant());
    ++pass.records;
}

int NoSpace(unsigned char)
{
    return 0; // blanks around values are part of them
}

// Runs the parser over the file (or until the pass stops) with the given callbacks.
void Parse(const QString& path, const CsvFormat& format, qint64 size, Pass& pass, void (*field)(void*, size_t, void*),
           void (*record)(int, void*), Utf8Check* check = nullptr)
{
    csv_parser parser;
    if (csv_init(&parser, 0) != 0)
        WorkbookError::Raise(WorkbookError::TooLarge, QStringLiteral("Out of memory while reading %1.").arg(path));
    struct Free
    {
        csv_parser* p;
        ~Free() { csv_free(p); }
    } free{&parser};
    csv_set_delim(&parser, static_cast<unsigned char>(format.delimiter));
    csv_set_space_func(&parser, NoSpace);
    csv_set_blk_size(&parser, size_t(1) << 16); // grow long fields in big steps, not 128 bytes at a time

    const QString name = QFileInfo(path).fileName();
    Input input(path, format, size);
    QByteArrayView chunk;
    while (input.Next(chunk)) {
        if (check)
            check->Feed(chunk);
        if (csv_parse(&parser, chunk.data(), size_t(chunk.size()), field, record, &pass) != size_t(chunk.size()))
            WorkbookError::Raise(WorkbookError::TooLarge,
                                 QStringLiteral("The text file %1 could not be read: %2")
                                     .arg(name, QString::fromLatin1(csv_strerror(csv_error(&parser)))));
        if (pass.failure)
            std::rethrow_exception(pass.failure);
        if (pass.tooManyColumns)
            WorkbookError::Raise(WorkbookError::TooLarge,
                                 QStringLiteral("The text file %1 has a row of more than %L2 fields, more than can be "
                                                "imported.")
                                     .arg(name)
                                     .arg(CsvReader::kMaxColumns));
        // libcsv grows a field's buffer by a fixed step; keep the step as large
        // as the buffer, so a long field doubles it instead of copying it
        // over and over.
        const size_t buffer = csv_get_buffer_size(&parser);
        if (buffer > (size_t(1) << 16))
            csv_set_blk_size(&parser, buffer);
        if (qsizetype(buffer) > CsvReader::kMaxFieldBytes)
            WorkbookError::Raise(WorkbookError::TooLarge,
                                 QStringLiteral("The text file %1 has a field longer than %2 MB; a quotation mark may "
                                                "be missing.")
                                     .arg(name)
                                     .arg(CsvReader::kMaxFieldBytes >> 20));
        if (pass.Stopped())
            return;
    }
    // libcsv only reports a quote left open in strict mode, which would refuse
    // the stray quotes real files have; its state tells the same (2: inside a
    // field, which began with a quote).
    const bool openQuote = parser.quoted && parser.pstate == 2;
    if (csv_fini(&parser, field, record, &pass) != 0 || openQuote)
        WorkbookError::Raise(WorkbookError::Damaged,
                             QStringLiteral("The text file %1 ends inside a quoted value: a closing quotation mark "
                                            "is missing.")
                                 .arg(name));
    if (pass.failure)
        std::rethrow_exception(pass.failure);
}

// Rows looked at before the column types are chosen; the rest of the file
// is checked against them as it loads.
constexpr qint64 kSampleRecords = 1000;

Scan ScanFile(const QString& path, const CsvFormat& format, qint64 size, bool header, qint64 maxRecords)
{
    Scan scan;
    Pass pass;
    pass.header = header;
    pass.scan = &scan;
    pass.maxRecords = maxRecords;
    Utf8Check check;
    Parse(path, format, size, pass, ScanField, ScanRecord, format.encoding == CsvFormat::Encoding::Utf8 ? &check : nullptr);
    scan.complete = !pass.Stopped();
    // Invalid UTF-8 anywhere makes the whole file Windows-1252. A sample is
    // checked again with the rest of the file as that loads.
    scan.utf8 = scan.complete ? check.Valid() : check.ValidSoFar();
    scan.columns.resize(size_t(scan.width));
    return scan;
}

// Fills a record set from the file with the types a scan found; false when
// `verify` is on and a value does not fit them.
bool Load(const QString& path, const CsvFormat& format, qint64 size, bool header, const Scan& scan, bool verify,
          Recordset& set, qint64 maxRecords = -1)
{
    const int width = scan.width;
    Pass load;
    load.header = header;
    load.utf8 = scan.utf8;
    load.set = &set;
    load.verify = verify;
    load.maxRecords = maxRecords;
    load.values.resize(size_t(width));
    load.buffers.resize(size_t(width));
    load.seen.resize(size_t(width));
    for (int i = 0; i < width; ++i) {
        const ColumnState& state = scan.columns[size_t(i)];
        const auto guess = state.Guess(scan.utf8);
        QString columnName = SheetValues::GenericColumnName(i);
        if (header)
            columnName = size_t(i) < scan.names.size()
                             ? load.Decode(scan.names[size_t(i)].constData(), size_t(scan.names[size_t(i)].size()))
                             : QString();
        set.AppendField(columnName, guess.AdoType(), guess.DefinedSize());
        load.types.push_back(guess.AdoType());
        load.known.push_back(state.seen != 0);
        load.seen[size_t(i)] = state;
    }
    set.Open();
    Utf8Check check;
    Parse(path, format, size, load, LoadField, LoadRecord,
          verify && scan.utf8 && format.encoding == CsvFormat::Encoding::Utf8 ? &check : nullptr);
    if (load.misfit || (verify && !check.Valid()))
        return false;
    if (set.RecordCount() > 0)
        set.MoveFirst();
    return true;
}

CsvFormat FormatOf(const QString& path, qint64& size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        WorkbookError::Raise(WorkbookError::FileNotFound,
                             QStringLiteral("The file %1 could not be opened: %2").arg(path, file.errorString()));
    size = file.size();
    const QByteArray head = file.read(kChunk);
    return CsvFormat::Detect(head, file.atEnd(), QFileInfo(path).fileName());
}

Recordset EmptySheet()
{
    // Nothing in the file: shown as one empty column, as an empty sheet is.
    Recordset set;
    set.AppendField(SheetValues::GenericColumnName(0), AdoType::VarWChar, SheetValues::kShortTextLength);
    set.Open();
    return set;
}

} // namespace

Recordset CsvReader::ReadFirstRows(const QString& path, bool header, qint64 rows)
{
    qint64 size = 0;
    const CsvFormat format = FormatOf(path, size);
    const qint64 records = std::max<qint64>(rows, 0) + (header ? 1 : 0);
    const Scan scan = ScanFile(path, format, size, header, records);
    if (scan.width == 0)
        return EmptySheet();
    Recordset set;
    Load(path, format, size, header, scan, false, set, records);
    return set;
}

Recordset CsvReader::Read(const QString& path, bool header)
{
    qint64 size = 0;
    const CsvFormat format = FormatOf(path, size);

    // Types from the first rows, checked while the file loads; a large file
    // is then parsed twice instead of three times. Only when a later value
    // does not fit is the whole file scanned and loaded again, so the types
    // are always those of every row.
    Scan scan = ScanFile(path, format, size, header, kSampleRecords);
    if (scan.width > 0 && !scan.complete) {
        Recordset set;
        if (Load(path, format, size, header, scan, true, set))
            return set;
        scan = ScanFile(path, format, size, header, -1);
    }
    if (scan.width == 0)
        return EmptySheet();
    Recordset set;
    Load(path, format, size, header, scan, false, set);
    return set;
}
