#include "merge/MergeValueText.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

namespace {

// Removes unquoted runs of the given letter and the blanks left around them.
QString DropToken(const QString& format, QChar letter)
{
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == letter)
            continue;
        out += c;
    }
    return out.trimmed();
}

// Two-digit years make old and new dates look alike; widen them.
QString FourDigitYear(const QString& format)
{
    if (format.contains(QLatin1String("yyyy")))
        return format;
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u'y' && i + 1 < format.size() && format.at(i + 1) == u'y') {
            out += QLatin1String("yyyy");
            ++i;
            continue;
        }
        out += c;
    }
    return out;
}

} // namespace

MergeValueText::MergeValueText(const QLocale& locale)
    : m_locale(locale),
      m_dateFormat(FourDigitYear(locale.dateFormat(QLocale::ShortFormat))),
      m_timeFormat(DropToken(locale.timeFormat(QLocale::LongFormat), u't'))
{
    m_locale.setNumberOptions(m_locale.numberOptions() | QLocale::OmitGroupSeparator);
}

QString MergeValueText::Text(const QVariant& value) const
{
    if (value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::SChar:
    case QMetaType::LongLong:
        return m_locale.toString(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::ULongLong:
        return m_locale.toString(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return m_locale.toString(value.toDouble(), 'g', 15);
    case QMetaType::QDate:
        return m_locale.toString(value.toDate(), m_dateFormat);
    case QMetaType::QTime:
        return m_locale.toString(value.toTime(), m_timeFormat);
    case QMetaType::QDateTime: {
        const QDateTime stamp = value.toDateTime();
        const QDate date = stamp.date();
        const QTime time = stamp.time();
        if (date == QDate(1899, 12, 30))
            return m_locale.toString(time, m_timeFormat);
        if (time == QTime(0, 0))
            return m_locale.toString(date, m_dateFormat);
        return m_locale.toString(date, m_dateFormat) + u' ' + m_locale.toString(time, m_timeFormat);
    }
    default:
        return value.toString();
    }
}
