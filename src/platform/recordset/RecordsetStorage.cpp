#include "platform/recordset/RecordsetStorage.h"

#include "base/AppError.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>

#include <cmath>
#include <limits>

namespace RecordsetDetail {

namespace {

constexpr qint64 kMsecsPerDay = 86400000;
// Far beyond any real date, and keeps day * msecs inside 64 bits (at most
// about 106,751,991,167 days would).
constexpr qint64 kMaxJulianDay = 100000000000LL;
static_assert(kMaxJulianDay < std::numeric_limits<qint64>::max() / kMsecsPerDay - 1);

QString FieldLabel(const Recordset::Field& field)
{
    return QStringLiteral("[%1]").arg(field.Name);
}

QString Shown(const QVariant& value)
{
    QString text = value.toString();
    if (text.size() > 60)
        text = text.left(57) + QStringLiteral("...");
    return text;
}

[[noreturn]] void CannotConvert(const QVariant& value, const Recordset::Field& field, Family family)
{
    Raise(Recordset::ErrConvert,
          QStringLiteral("The value \"%1\" cannot be stored in the %2 field %3.")
              .arg(Shown(value), FamilyName(family), FieldLabel(field)));
}

bool IsSignedIntegerType(int id)
{
    switch (id) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return true;
    default:
        return false;
    }
}

bool IsUnsignedIntegerType(int id)
{
    switch (id) {
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

bool IsFloatType(int id)
{
    return id == QMetaType::Double || id == QMetaType::Float;
}

enum class IntResult { Ok, NotANumber, OutOfRange };

// Halves go to the even neighbour, as variant conversions do.
IntResult RoundToInteger(double value, qint64& out)
{
    if (!std::isfinite(value))
        return IntResult::NotANumber;
    const double rounded = std::nearbyint(value);
    if (rounded < -9223372036854775808.0 || rounded >= 9223372036854775808.0)
        return IntResult::OutOfRange;
    out = qint64(rounded);
    return IntResult::Ok;
}

IntResult IntegerOf(const QVariant& value, qint64& out)
{
    const int id = value.metaType().id();
    if (id == QMetaType::Bool) {
        out = value.toBool() ? -1 : 0;
        return IntResult::Ok;
    }
    if (IsSignedIntegerType(id)) {
        out = value.toLongLong();
        return IntResult::Ok;
    }
    if (IsUnsignedIntegerType(id)) {
        const quint64 u = value.toULongLong();
        if (u > quint64(std::numeric_limits<qint64>::max()))
            return IntResult::OutOfRange;
        out = qint64(u);
        return IntResult::Ok;
    }
    if (IsFloatType(id))
        return RoundToInteger(value.toDouble(), out);
    if (id == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        bool ok = false;
        out = QLocale::c().toLongLong(text, &ok);
        if (ok)
            return IntResult::Ok;
        const double real = QLocale::c().toDouble(text, &ok);
        return ok ? RoundToInteger(real, out) : IntResult::NotANumber;
    }
    return IntResult::NotANumber;
}

} // namespace

bool FitsType(int type, qint64 v)
{
    switch (type) {
    case AdoType::SmallInt: return v >= -32768 && v <= 32767;
    case AdoType::Integer: return v >= std::numeric_limits<qint32>::min() && v <= std::numeric_limits<qint32>::max();
    case AdoType::TinyInt: return v >= -128 && v <= 127;
    case AdoType::UnsignedTinyInt: return v >= 0 && v <= 255;
    case AdoType::UnsignedSmallInt: return v >= 0 && v <= 65535;
    case AdoType::UnsignedInt: return v >= 0 && v <= qint64(std::numeric_limits<quint32>::max());
    case AdoType::UnsignedBigInt: return v >= 0;
    default: return true;
    }
}

namespace {

bool RealOf(const QVariant& value, double& out)
{
    const int id = value.metaType().id();
    if (id == QMetaType::Bool) {
        out = value.toBool() ? -1 : 0;
        return true;
    }
    if (IsSignedIntegerType(id) || IsUnsignedIntegerType(id) || IsFloatType(id)) {
        out = value.toDouble();
        return true;
    }
    if (id == QMetaType::QString) {
        bool ok = false;
        out = QLocale::c().toDouble(value.toString().trimmed(), &ok);
        return ok;
    }
    return false;
}

bool BooleanOf(const QVariant& value, bool& out)
{
    const int id = value.metaType().id();
    if (id == QMetaType::Bool) {
        out = value.toBool();
        return true;
    }
    if (IsSignedIntegerType(id) || IsUnsignedIntegerType(id) || IsFloatType(id)) {
        out = value.toDouble() != 0;
        return true;
    }
    if (id == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) {
            out = true;
            return true;
        }
        if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) {
            out = false;
            return true;
        }
        bool ok = false;
        const qint64 number = QLocale::c().toLongLong(text, &ok);
        out = number != 0;
        return ok;
    }
    return false;
}

bool DateOf(const QVariant& value, qint64& out)
{
    switch (value.metaType().id()) {
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        if (!dt.isValid() || std::abs(dt.date().toJulianDay()) > kMaxJulianDay)
            return false;
        out = PackDate(dt.date(), dt.time());
        return true;
    }
    case QMetaType::QDate: {
        const QDate d = value.toDate();
        if (!d.isValid() || std::abs(d.toJulianDay()) > kMaxJulianDay)
            return false;
        out = PackDate(d, QTime(0, 0));
        return true;
    }
    case QMetaType::QTime: {
        const QTime t = value.toTime();
        if (!t.isValid())
            return false;
        // A time alone sits on the zero day of automation dates.
        out = PackDate(QDate(1899, 12, 30), t);
        return true;
    }
    case QMetaType::QString: {
        const auto packed = ParseDateText(value.toString().trimmed());
        if (!packed)
            return false;
        out = *packed;
        return true;
    }
    default:
        return false;
    }
}

} // namespace

[[noreturn]] void Raise(long number, const QString& description)
{
    throw AppError(number, QStringLiteral("Recordset"), description);
}

} // namespace RecordsetDetail

AdoType::Family AdoType::FamilyOf(int type)
{
    switch (type) {
    case SmallInt:
    case Integer:
    case TinyInt:
    case UnsignedTinyInt:
    case UnsignedSmallInt:
    case UnsignedInt:
    case BigInt:
    case UnsignedBigInt:
        return Family::Integer;
    case Single:
    case Double:
    case Currency:
    case Decimal:
    case Numeric:
    case VarNumeric:
        return Family::Real;
    case Boolean:
        return Family::Boolean;
    case Date:
    case DBTimeStamp:
        return Family::DateTime;
    case DBDate:
        return Family::Date;
    case DBTime:
        return Family::Time;
    case Binary:
    case VarBinary:
    case LongVarBinary:
        return Family::Binary;
    default:
        return Family::Text;
    }
}

namespace RecordsetDetail {

QString FamilyName(Family family)
{
    switch (family) {
    case Family::Integer: return QStringLiteral("integer");
    case Family::Real: return QStringLiteral("number");
    case Family::Boolean: return QStringLiteral("yes/no");
    case Family::DateTime:
    case Family::Date:
    case Family::Time: return QStringLiteral("date");
    case Family::Text: return QStringLiteral("text");
    case Family::Binary: return QStringLiteral("binary");
    }
    return QString();
}

qint64 PackDate(const QDate& date, const QTime& time)
{
    const qint64 msecs = time.isValid() ? time.msecsSinceStartOfDay() : 0;
    return date.toJulianDay() * kMsecsPerDay + msecs;
}

namespace {
qint64 FloorDiv(qint64 a, qint64 b)
{
    qint64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}
} // namespace

bool IsStorableDate(qint64 packed)
{
    const qint64 day = FloorDiv(packed, kMsecsPerDay);
    return day >= -kMaxJulianDay && day <= kMaxJulianDay;
}

QDate UnpackDate(qint64 packed)
{
    return QDate::fromJulianDay(FloorDiv(packed, kMsecsPerDay));
}

QTime UnpackTime(qint64 packed)
{
    return QTime::fromMSecsSinceStartOfDay(int(packed - FloorDiv(packed, kMsecsPerDay) * kMsecsPerDay));
}

std::optional<qint64> ParseDateText(QStringView text)
{
    static const QRegularExpression iso(QStringLiteral(
        R"(^(\d{4})-(\d{1,2})-(\d{1,2})(?:[ T](\d{1,2}):(\d{2})(?::(\d{2}))?)?$)"));
    static const QRegularExpression us(QStringLiteral(
        R"(^(\d{1,2})/(\d{1,2})/(\d{4})(?: +(\d{1,2}):(\d{2})(?::(\d{2}))?(?: *([AaPp])[Mm])?)?$)"));
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    QRegularExpressionMatch m = iso.match(text.toString());
    if (m.hasMatch()) {
        year = m.capturedView(1).toInt();
        month = m.capturedView(2).toInt();
        day = m.capturedView(3).toInt();
    } else {
        m = us.match(text.toString());
        if (!m.hasMatch())
            return std::nullopt;
        month = m.capturedView(1).toInt();
        day = m.capturedView(2).toInt();
        year = m.capturedView(3).toInt();
    }
    if (m.hasCaptured(4)) {
        hour = m.capturedView(4).toInt();
        minute = m.capturedView(5).toInt();
        second = m.hasCaptured(6) ? m.capturedView(6).toInt() : 0;
        if (m.lastCapturedIndex() >= 7 && m.hasCaptured(7)) {
            if (hour < 1 || hour > 12)
                return std::nullopt;
            const bool pm = m.capturedView(7).compare(u"p", Qt::CaseInsensitive) == 0;
            hour = hour % 12 + (pm ? 12 : 0);
        }
    }
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return PackDate(date, time);
}

void ConvertInto(const QVariant& value, const Recordset::Field& field, Cell& cell)
{
    cell.null = value.isNull();
    cell.text = QStringView();
    if (cell.null)
        return;
    const Family family = FamilyOf(field.Type);
    switch (family) {
    case Family::Integer: {
        qint64 v = 0;
        const IntResult result = IntegerOf(value, v);
        if (result == IntResult::NotANumber)
            CannotConvert(value, field, family);
        if (result == IntResult::OutOfRange || !FitsType(field.Type, v))
            Raise(Recordset::ErrConvert,
                  QStringLiteral("The value \"%1\" is out of range for the field %2.")
                      .arg(Shown(value), FieldLabel(field)));
        cell.integer = v;
        return;
    }
    case Family::Real:
        if (!RealOf(value, cell.real))
            CannotConvert(value, field, family);
        return;
    case Family::Boolean: {
        bool b = false;
        if (!BooleanOf(value, b))
            CannotConvert(value, field, family);
        cell.integer = b ? 1 : 0;
        return;
    }
    case Family::DateTime:
    case Family::Date:
    case Family::Time:
        if (!DateOf(value, cell.integer))
            CannotConvert(value, field, family);
        return;
    case Family::Text:
        if (value.metaType().id() == QMetaType::QString) {
            // No copy: the caller's string stays alive until the cell is stored.
            cell.text = *static_cast<const QString*>(value.constData());
            return;
        }
        if (!value.canConvert<QString>())
            CannotConvert(value, field, family);
        cell.ownedText = value.toString();
        cell.text = cell.ownedText;
        return;
    case Family::Binary:
        if (!value.canConvert<QByteArray>())
            CannotConvert(value, field, family);
        cell.bytes = value.toByteArray();
        return;
    }
}

QVariant MakeValue(Family family, int adoType, qint64 integer, double real, QStringView text,
                   const QByteArray& bytes)
{
    switch (family) {
    case Family::Integer:
        switch (adoType) {
        case AdoType::UnsignedInt:
        case AdoType::BigInt:
        case AdoType::UnsignedBigInt:
            return QVariant(qlonglong(integer));
        default:
            return QVariant(int(integer));
        }
    case Family::Real:
        return QVariant(real);
    case Family::Boolean:
        return QVariant(integer != 0);
    case Family::DateTime:
        return QVariant(QDateTime(UnpackDate(integer), UnpackTime(integer)));
    case Family::Date:
        return QVariant(UnpackDate(integer));
    case Family::Time:
        return QVariant(UnpackTime(integer));
    case Family::Text:
        return QVariant(text.toString());
    case Family::Binary:
        return QVariant(bytes);
    }
    return QVariant();
}

QVariant CellToVariant(const Cell& cell, int adoType)
{
    if (cell.null)
        return QVariant();
    return MakeValue(FamilyOf(adoType), adoType, cell.integer, cell.real, cell.text, cell.bytes);
}

bool Column::Push(const Cell& cell, int row)
{
    bool stored = true;
    switch (family) {
    case Family::Integer:
    case Family::DateTime:
    case Family::Date:
    case Family::Time:
        integers.PushBack(cell.null ? 0 : cell.integer);
        break;
    case Family::Real:
        reals.PushBack(cell.null ? 0.0 : cell.real);
        break;
    case Family::Boolean:
        booleans.PushBack(cell.null ? 0 : quint8(cell.integer != 0));
        break;
    case Family::Text:
        stored = cell.null ? texts.PushBack(nullptr, 0)
                           : texts.PushBack(reinterpret_cast<const char16_t*>(cell.text.utf16()),
                                            size_t(cell.text.size()));
        break;
    case Family::Binary:
        stored = cell.null ? binaries.PushBack(nullptr, 0)
                           : binaries.PushBack(cell.bytes.constData(), size_t(cell.bytes.size()));
        break;
    }
    if (!stored)
        return false;
    if ((row & 63) == 0)
        nulls.push_back(0);
    if (cell.null) {
        nulls[size_t(row) >> 6] |= quint64(1) << (row & 63);
        hasNulls = true;
    }
    return true;
}

void Column::Pop(int row)
{
    nulls[size_t(row) >> 6] &= ~(quint64(1) << (row & 63));
    switch (family) {
    case Family::Integer:
    case Family::DateTime:
    case Family::Date:
    case Family::Time: integers.PopBack(); break;
    case Family::Real: reals.PopBack(); break;
    case Family::Boolean: booleans.PopBack(); break;
    case Family::Text: texts.PopBack(); break;
    case Family::Binary: binaries.PopBack(); break;
    }
    if ((row & 63) == 0)
        nulls.pop_back();
}

QVariant Column::Get(int row) const
{
    if (IsNull(row))
        return QVariant();
    switch (family) {
    case Family::Integer:
    case Family::DateTime:
    case Family::Date:
    case Family::Time:
        return MakeValue(family, type, integers.At(row), 0, {}, {});
    case Family::Real:
        return QVariant(reals.At(row));
    case Family::Boolean:
        return QVariant(booleans.At(row) != 0);
    case Family::Text: {
        quint32 length = 0;
        const char16_t* data = texts.At(row, length);
        return QVariant(QString(reinterpret_cast<const QChar*>(data), qsizetype(length)));
    }
    case Family::Binary: {
        quint32 length = 0;
        const char* data = binaries.At(row, length);
        return QVariant(QByteArray(data, qsizetype(length)));
    }
    }
    return QVariant();
}

size_t Column::Bytes() const
{
    return integers.Bytes() + reals.Bytes() + booleans.Bytes() + texts.Bytes() + binaries.Bytes()
        + nulls.capacity() * sizeof(quint64);
}

void Table::AddField(const Recordset::Field& field)
{
    fields.push_back(field);
    Column column;
    column.family = FamilyOf(field.Type);
    column.type = field.Type;
    columns.push_back(std::move(column));
}

void Table::Append(const std::vector<Cell>& cells)
{
    if (rows == std::numeric_limits<int>::max())
        Raise(Recordset::ErrNotAllowed, QStringLiteral("The record set cannot hold more rows."));
    for (size_t c = 0; c < columns.size(); ++c) {
        if (!columns[c].Push(cells[c], rows)) {
            for (size_t undo = 0; undo < c; ++undo)
                columns[undo].Pop(rows);
            Raise(Recordset::ErrConvert,
                  QStringLiteral("The value for the field %1 is too large to be stored.")
                      .arg(FieldLabel(fields[c])));
        }
    }
    ++rows;
}

} // namespace RecordsetDetail
