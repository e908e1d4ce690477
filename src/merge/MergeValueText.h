#pragma once

#include <QLocale>
#include <QString>
#include <QVariant>

// The text a record set value takes when the merge puts it into a mail.
//
//   Null                  empty text
//   text                  as it is
//   boolean               "True" or "False"
//   integers              decimal, the locale's digits and minus sign, no
//                         group separators
//   other numbers         up to 15 significant digits, the locale's decimal
//                         sign, no group separators, an exponent for very
//                         large or small values
//   date                  the locale's short date, with a four-digit year
//   time                  the locale's long time, without the time zone
//   date and time         date, one blank, time; only the date at midnight,
//                         only the time on 30 Dec 1899 (the zero date that
//                         time-only cells carry)
//   anything else         QVariant's own text
//
// The locale is the user's (QLocale::system()) unless one is given, so the
// same mail text comes out wherever the program is tested.
class MergeValueText
{
public:
    explicit MergeValueText(const QLocale& locale = QLocale::system());

    QString Text(const QVariant& value) const;

    const QLocale& Locale() const { return m_locale; }
    const QString& DateFormat() const { return m_dateFormat; }
    const QString& TimeFormat() const { return m_timeFormat; }

private:
    QLocale m_locale;
    QString m_dateFormat;
    QString m_timeFormat;
};
