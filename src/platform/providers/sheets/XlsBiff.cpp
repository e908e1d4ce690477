#include "platform/providers/sheets/XlsBiff.h"

#include <QHash>

#include <cstring>
#include <QtEndian>

namespace {

enum : quint16 {
    RecFormula = 0x0006,
    RecMulRk = 0x00BD,
    RecRString = 0x00D6,
    RecSst = 0x00FC,
    RecLabelSst = 0x00FD,
    RecNumber = 0x0203,
    RecLabel = 0x0204,
    RecRk = 0x027E,
    RecEof = 0x000A,
    RecDateMode = 0x0022,
    RecFilePass = 0x002F,
    RecContinue = 0x003C,
    RecBoundSheet = 0x0085,
    RecXf = 0x00E0,
    RecBoolErr = 0x0205,
    RecString = 0x0207,
    RecFormat = 0x041E,
    RecBof = 0x0809,
};

// One record: its id and a view of its data inside the stream.
struct Record
{
    quint16 id = 0;
    QByteArrayView data;
    qsizetype next = 0;
};

bool ReadRecord(const QByteArray& stream, qsizetype at, Record& record)
{
    if (at < 0 || at + 4 > stream.size())
        return false;
    record.id = qFromLittleEndian<quint16>(stream.constData() + at);
    const quint16 length = qFromLittleEndian<quint16>(stream.constData() + at + 2);
    if (at + 4 + length > stream.size())
        return false;
    record.data = QByteArrayView(stream.constData() + at + 4, length);
    record.next = at + 4 + length;
    return true;
}

// Goes through the records of a stream from a given place, holding only a
// window of it. A record's data stays valid until the next call of Next or
// PeekId.
class RecordWindow
{
public:
    RecordWindow(const XlsStream& stream, qint64 at) : m_stream(stream), m_next(at) {}

    bool Next(Record& record)
    {
        if (!Ensure(m_next, 4))
            return false;
        const char* head = m_window.constData() + (m_next - m_start);
        const quint16 length = qFromLittleEndian<quint16>(head + 2);
        if (!Ensure(m_next, 4 + qint64(length)))
            return false;
        const char* at = m_window.constData() + (m_next - m_start);
        record.id = qFromLittleEndian<quint16>(at);
        record.data = QByteArrayView(at + 4, length);
        m_next += 4 + length;
        record.next = qsizetype(m_next);
        return true;
    }

    // The id of the next record, without going past it.
    bool PeekId(quint16& id)
    {
        if (!Ensure(m_next, 4))
            return false;
        id = qFromLittleEndian<quint16>(m_window.constData() + (m_next - m_start));
        return true;
    }

private:
    bool Ensure(qint64 at, qint64 length)
    {
        if (at >= m_start && at + length <= m_start + m_window.size())
            return true;
        m_window = m_stream.Read(at, std::max(length, m_stream.PieceSize()));
        m_start = at;
        return m_window.size() >= length;
    }

    const XlsStream& m_stream;
    qint64 m_next;
    qint64 m_start = 0;
    QByteArray m_window;
};

quint16 U16(QByteArrayView data, qsizetype at)
{
    return at + 2 <= data.size() ? qFromLittleEndian<quint16>(data.data() + at) : 0;
}

// Reads across a record and the CONTINUE records after it; a string that goes
// on in a CONTINUE record starts there with a fresh option byte.
class Segments
{
public:
    void Add(QByteArrayView part) { m_parts.push_back(part); }

    bool Byte(quint8& out)
    {
        if (!Ensure())
            return false;
        out = quint8(m_parts[m_part][m_at++]);
        return true;
    }
    bool Word(quint16& out)
    {
        quint8 lo = 0, hi = 0;
        if (!Byte(lo) || !Byte(hi))
            return false;
        out = quint16(lo | (hi << 8));
        return true;
    }
    bool Skip(qsizetype count)
    {
        for (quint8 ignored = 0; count > 0; --count)
            if (!Byte(ignored))
                return false;
        return true;
    }

    // A BIFF8 string of `count` characters after its option byte.
    bool Chars(qsizetype count, bool high, QString& out)
    {
        out.reserve(count);
        while (count > 0) {
            if (m_at == m_parts[m_part].size()) {
                if (m_part + 1 >= m_parts.size())
                    return false;
                ++m_part;
                m_at = 0;
                quint8 flags = 0;
                if (!Byte(flags))
                    return false;
                high = flags & 1;
            }
            const QByteArrayView part = m_parts[m_part];
            const qsizetype width = high ? 2 : 1;
            const qsizetype take = std::min(count, (part.size() - m_at) / width);
            if (take == 0)
                return false; // half a character at the end of a record
            for (qsizetype i = 0; i < take; ++i, m_at += width)
                out += high ? QChar(qFromLittleEndian<quint16>(part.data() + m_at)) : QChar(quint8(part[m_at]));
            count -= take;
        }
        return true;
    }

private:
    bool Ensure()
    {
        while (m_part < m_parts.size() && m_at >= m_parts[m_part].size()) {
            ++m_part;
            m_at = 0;
        }
        return m_part < m_parts.size();
    }

    std::vector<QByteArrayView> m_parts;
    size_t m_part = 0;
    qsizetype m_at = 0;
};

// A BIFF8 unicode string with a 16-bit length, possibly with rich-text and
// phonetic blocks; their data after the characters is not needed.
bool UnicodeString(Segments& in, QString& out)
{
    quint16 count = 0;
    quint8 flags = 0;
    if (!in.Word(count) || !in.Byte(flags))
        return false;
    quint16 runs = 0;
    quint32 extra = 0;
    if ((flags & 0x08) && !in.Word(runs))
        return false;
    if (flags & 0x04) {
        quint16 lo = 0, hi = 0;
        if (!in.Word(lo) || !in.Word(hi))
            return false;
        extra = quint32(lo) | (quint32(hi) << 16);
    }
    return in.Chars(count, flags & 1, out) && in.Skip(qsizetype(runs) * 4) && in.Skip(qsizetype(extra));
}

// A number in the packed RK form.
double RkValue(quint32 rk)
{
    double value = 0;
    if (rk & 0x02) {
        value = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFC) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 0x01) ? value / 100 : value;
}

} // namespace

QByteArray XlsMemoryStream::Read(qint64 at, qint64 length) const
{
    if (at < 0 || at >= m_bytes.size() || length <= 0)
        return {};
    // A view: the bytes stay where they are for as long as this stream lives.
    return QByteArray::fromRawData(m_bytes.constData() + at, qsizetype(std::min(length, m_bytes.size() - at)));
}

XlsBiff::XlsBiff(QByteArray workbookStream) : XlsBiff(std::make_shared<XlsMemoryStream>(std::move(workbookStream)))
{
}

XlsBiff::XlsBiff(std::shared_ptr<const XlsStream> stream) : m_stream(std::move(stream))
{
    // The globals (shared strings, formats, the sheet list) are read once
    // and let go; the sheets are read from the stream when asked for.
    RecordWindow records(*m_stream, 0);
    Record record;
    qint64 end = 0;
    while (records.Next(record)) {
        end = record.next;
        if (record.id == RecEof)
            break;
    }
    m_globals = m_stream->Read(0, end);
    ReadGlobals();
    m_globals = QByteArray();
}

QString XlsBiff::ShortString(const QByteArray& data, qsizetype at) const
{
    if (at >= data.size())
        return {};
    const int count = quint8(data[at]);
    if (m_biff8) {
        Segments in;
        in.Add(QByteArrayView(data).sliced(at + 1));
        quint8 flags = 0;
        QString text;
        if (!in.Byte(flags) || !in.Chars(count, flags & 1, text))
            return {};
        return text;
    }
    if (at + 1 + count > data.size())
        return {};
    return SheetValues::DecodeWindows1252(data.constData() + at + 1, count);
}

void XlsBiff::ReadGlobals()
{
    Record record;
    if (!ReadRecord(m_globals, 0, record) || record.id != RecBof)
        return;
    m_biff8 = U16(record.data, 0) == 0x0600;
    QHash<int, QString> formats;
    std::vector<int> xfFormats;
    for (qsizetype at = record.next; ReadRecord(m_globals, at, record) && record.id != RecEof; at = record.next) {
        const QByteArray data = record.data.toByteArray();
        switch (record.id) {
        case RecFilePass:
            m_encrypted = true;
            m_sheets.clear();
            return; // everything after it is scrambled
        case RecDateMode:
            m_date1904 = U16(record.data, 0) == 1;
            break;
        case RecXf:
            xfFormats.push_back(U16(record.data, 2));
            break;
        case RecFormat: {
            const int id = U16(record.data, 0);
            QString code;
            if (m_biff8 && record.data.size() >= 2) {
                Segments in;
                in.Add(record.data.sliced(2));
                UnicodeString(in, code);
            } else if (data.size() >= 3) {
                const int count = std::min<int>(quint8(data[2]), int(data.size()) - 3);
                code = SheetValues::DecodeWindows1252(data.constData() + 3, count);
            }
            formats.insert(id, code);
            break;
        }
        case RecSst:
            ReadStrings(at);
            break;
        case RecBoundSheet:
            if (data.size() >= 7)
                m_sheets.push_back({ShortString(data, 6), qFromLittleEndian<quint32>(data.constData()),
                                    quint8(data[5])});
            break;
        default:
            break;
        }
    }
    m_dateXf.reserve(xfFormats.size());
    for (int format : xfFormats)
        m_dateXf.push_back(formats.contains(format) ? SheetValues::IsDateFormatCode(formats.value(format))
                                                    : SheetValues::IsBuiltInDateFormat(format));
}

void XlsBiff::ReadStrings(qsizetype at)
{
    Record record;
    if (!ReadRecord(m_globals, at, record) || record.data.size() < 8)
        return;
    Segments in;
    in.Add(record.data.sliced(8));
    for (qsizetype next = record.next; ReadRecord(m_globals, next, record) && record.id == RecContinue;
         next = record.next)
        in.Add(record.data);
    const quint32 unique = qFromLittleEndian<quint32>(m_globals.constData() + at + 8);
    // Each string takes at least three bytes, which bounds a count that lies.
    const quint32 most = std::min<quint32>(unique, quint32(m_globals.size() / 3));
    for (quint32 i = 0; i < most; ++i) {
        QString text;
        if (!m_biff8 || !UnicodeString(in, text))
            break;
        m_strings.Append(text);
    }
    m_strings.Squeeze();
}

void XlsBiff::AddNumber(SheetCellSink& sink, int row, int column, int xf, double number) const
{
    if (xf >= 0 && xf < int(m_dateXf.size()) && m_dateXf[size_t(xf)])
        sink.SetDate(row, column, SheetValues::SerialToDateTime(number, m_date1904));
    else
        sink.SetNumber(row, column, number);
}

QStringList XlsBiff::SheetNames() const
{
    QStringList names;
    for (const Sheet& sheet : m_sheets)
        if (sheet.type == 0)
            names << sheet.name;
    return names;
}

namespace {

// Excel 97-2003 sheets have 256 columns. A cell record that says otherwise
// is damaged; passed on, one such cell would stretch the table to tens of
// thousands of empty columns.
class WithinSheet : public SheetCellSink
{
public:
    static constexpr int kColumns = 256;

    explicit WithinSheet(SheetCellSink& sink) : m_sink(sink) {}

    void SetNumber(int row, int column, double value) override
    {
        if (column < kColumns)
            m_sink.SetNumber(row, column, value);
    }
    void SetText(int row, int column, const QString& value) override
    {
        if (column < kColumns)
            m_sink.SetText(row, column, value);
    }
    void SetBoolean(int row, int column, bool value) override
    {
        if (column < kColumns)
            m_sink.SetBoolean(row, column, value);
    }
    void SetDate(int row, int column, const QDateTime& value) override
    {
        if (column < kColumns)
            m_sink.SetDate(row, column, value);
    }
    void SetError(int row, int column) override
    {
        if (column < kColumns)
            m_sink.SetError(row, column);
    }

private:
    SheetCellSink& m_sink;
};

} // namespace

void XlsBiff::ReadCells(const QString& name, SheetCellSink& cells) const
{
    WithinSheet sink(cells);
    const Sheet* sheet = nullptr;
    for (const Sheet& s : m_sheets)
        if (s.type == 0 && s.name == name)
            sheet = &s;
    if (!sheet)
        return;
    RecordWindow records(*m_stream, qint64(sheet->offset));
    Record record;
    if (!records.Next(record) || record.id != RecBof)
        return;

    // A formula whose result is text gives it in the STRING record after it.
    bool stringPending = false;
    int pendingRow = 0, pendingColumn = 0;
    int depth = 1; // charts and the like can sit inside a sheet as their own BOF..EOF
    while (records.Next(record)) {
        const QByteArrayView data = record.data;
        if (record.id == RecBof) {
            ++depth;
            continue;
        }
        if (record.id == RecEof) {
            if (--depth == 0)
                break;
            continue;
        }
        if (depth != 1)
            continue;
        switch (record.id) {
        case RecFormula: {
            if (data.size() < 14)
                break;
            const int row = U16(data, 0), column = U16(data, 2);
            const QByteArrayView value = data.sliced(6, 8);
            stringPending = false;
            if (quint8(value[6]) != 0xFF || quint8(value[7]) != 0xFF) {
                AddNumber(sink, row, column, U16(data, 4), qFromLittleEndian<double>(value.data()));
                break;
            }
            switch (quint8(value[0])) {
            case 0:
                stringPending = true;
                pendingRow = row;
                pendingColumn = column;
                break;
            case 1:
                sink.SetBoolean(row, column, quint8(value[2]) != 0);
                break;
            case 2:
                sink.SetError(row, column);
                break;
            default:
                break; // an empty text result
            }
            break;
        }
        case RecString: {
            if (!stringPending)
                break;
            stringPending = false;
            QString text;
            if (m_biff8) {
                // Copied: reading on may move the window the records lie in.
                std::vector<QByteArray> parts{data.toByteArray()};
                quint16 next = 0;
                Record more;
                while (records.PeekId(next) && next == RecContinue && records.Next(more))
                    parts.push_back(more.data.toByteArray());
                Segments in;
                for (const QByteArray& part : parts)
                    in.Add(part);
                if (!UnicodeString(in, text))
                    break;
            } else {
                const int count = std::min<int>(U16(data, 0), int(data.size()) - 2);
                if (count < 0)
                    break;
                text = SheetValues::DecodeWindows1252(data.data() + 2, count);
            }
            sink.SetText(pendingRow, pendingColumn, text);
            break;
        }
        case RecBoolErr:
            if (data.size() < 8)
                break;
            if (quint8(data[7]) == 0)
                sink.SetBoolean(U16(data, 0), U16(data, 2), quint8(data[6]) != 0);
            else
                sink.SetError(U16(data, 0), U16(data, 2));
            break;
        case RecNumber:
            if (data.size() >= 14)
                AddNumber(sink, U16(data, 0), U16(data, 2), U16(data, 4), qFromLittleEndian<double>(data.data() + 6));
            break;
        case RecRk:
            if (data.size() >= 10)
                AddNumber(sink, U16(data, 0), U16(data, 2), U16(data, 4),
                          RkValue(qFromLittleEndian<quint32>(data.data() + 6)));
            break;
        case RecMulRk: {
            if (data.size() < 6)
                break;
            const int row = U16(data, 0);
            int column = U16(data, 2);
            for (qsizetype at = 4; at + 6 <= data.size() - 2; at += 6, ++column)
                AddNumber(sink, row, column, U16(data, at), RkValue(qFromLittleEndian<quint32>(data.data() + at + 2)));
            break;
        }
        case RecLabelSst:
            if (data.size() >= 10) {
                const quint32 index = qFromLittleEndian<quint32>(data.data() + 6);
                if (index < m_strings.Count())
                    sink.SetText(U16(data, 0), U16(data, 2), m_strings.At(index).toString());
            }
            break;
        case RecLabel:
        case RecRString: {
            if (data.size() < 8)
                break;
            QString text;
            if (m_biff8) {
                Segments in;
                in.Add(data.sliced(6));
                if (!UnicodeString(in, text))
                    break;
            } else {
                const int count = std::min<int>(U16(data, 6), int(data.size()) - 8);
                text = SheetValues::DecodeWindows1252(data.data() + 8, std::max(count, 0));
            }
            sink.SetText(U16(data, 0), U16(data, 2), text);
            break;
        }
        default:
            break;
        }
    }
}
