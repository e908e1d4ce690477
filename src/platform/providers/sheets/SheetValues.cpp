#include "platform/providers/sheets/SheetValues.h"

#include "platform/recordset/Recordset.h"

#include <cmath>

namespace SheetValues {

namespace {
constexpr unsigned Bit(Kind kind)
{
    return 1u << unsigned(kind);
}
} // namespace

bool ColumnGuess::IsText() const
{
    return m_seen != Bit(Kind::Number) && m_seen != Bit(Kind::Date) && m_seen != Bit(Kind::Boolean);
}

int ColumnGuess::AdoType() const
{
    if (m_seen == Bit(Kind::Number))
        return AdoType::Double;
    if (m_seen == Bit(Kind::Date))
        return AdoType::Date;
    if (m_seen == Bit(Kind::Boolean))
        return AdoType::Boolean;
    return m_longest > kShortTextLength ? AdoType::LongVarWChar : AdoType::VarWChar;
}

qint64 ColumnGuess::DefinedSize() const
{
    switch (AdoType()) {
    case AdoType::Double:
    case AdoType::Date:
        return 8;
    case AdoType::Boolean:
        return 2;
    case AdoType::LongVarWChar:
        return kLongTextSize;
    default:
        return kShortTextLength;
    }
}

QDateTime SerialToDateTime(double serial, bool date1904)
{
    if (!std::isfinite(serial) || serial < -693593 || serial > 2958466)
        return {};
    double days = std::floor(serial);
    qint64 ms = std::llround((serial - days) * 86400000.0);
    if (ms >= 86400000) {
        ms -= 86400000;
        days += 1;
    }
    QDate base;
    if (days == 0)
        base = QDate(1899, 12, 30); // a time of day without a date
    else if (date1904)
        base = QDate(1904, 1, 1);
    else if (days < 61)
        base = QDate(1899, 12, 31); // the 1900 system counts a 29 February 1900 that never was
    else
        base = QDate(1899, 12, 30);
    return QDateTime(base.addDays(qint64(days)), QTime::fromMSecsSinceStartOfDay(int(ms)), Qt::UTC);
}

QString NumberText(double value)
{
    if (value == 0)
        return QStringLiteral("0");
    return QString::number(value, 'g', 15);
}

QString DateText(const QDateTime& value)
{
    const QTime time = value.time();
    if (value.date() == QDate(1899, 12, 30) && time.isValid() && time != QTime(0, 0))
        return time.toString(time.msec() ? u"HH:mm:ss.zzz" : u"HH:mm:ss");
    if (time == QTime(0, 0))
        return value.date().toString(Qt::ISODate);
    return value.toString(time.msec() ? u"yyyy-MM-dd HH:mm:ss.zzz" : u"yyyy-MM-dd HH:mm:ss");
}

bool IsDateFormatCode(const QString& code)
{
    bool inQuote = false, inBracket = false;
    QString bracket;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (inQuote) {
            inQuote = c != u'"';
            continue;
        }
        if (inBracket) {
            if (c == u']') {
                inBracket = false;
                const QString b = bracket.toLower();
                // Elapsed time ([h]:mm) is a time; colours and locales are not.
                if (!b.isEmpty() && (b.startsWith(u'h') || b.startsWith(u'm') || b.startsWith(u's')) &&
                    b.count(b[0]) == b.size())
                    return true;
            } else {
                bracket += c;
            }
            continue;
        }
        if (c == u'"')
            inQuote = true;
        else if (c == u'[') {
            inBracket = true;
            bracket.clear();
        } else if (c == u'\\' || c == u'_' || c == u'*')
            ++i; // the next character is shown as it is (or is padding)
        else if (c == u';')
            break; // the first section decides
        else {
            const char16_t l = c.toLower().unicode();
            if (l == u'd' || l == u'm' || l == u'y' || l == u'h' || l == u's')
                return true;
        }
    }
    return false;
}

bool IsBuiltInDateFormat(int id)
{
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
}

QString DecodeWindows1252(const char* bytes, qsizetype length)
{
    // 0x80-0x9F as Windows-1252 has them; the five it leaves undefined keep their C1 code.
    static const char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text(length, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        out[i] = c >= 0x80 && c < 0xA0 ? high[c - 0x80] : char16_t(c);
    }
    return text;
}

} // namespace SheetValues
