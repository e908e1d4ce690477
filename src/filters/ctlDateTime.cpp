#include "filters/ctlDateTime.h"

#include "controls/modForms.h"
#include "ui_ctlDateTime.h"

#include <QDateTime>
#include <optional>

namespace {

// The number a box holds, or `empty` for a box with nothing in it; -1 for
// anything else.
int Number(const QLineEdit* box, int empty = -1)
{
    const QString text = box->text().trimmed();
    if (text.isEmpty())
        return empty;
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 ? value : -1;
}

QString TwoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

std::optional<QDateTime> AsDateTime(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return value.toDateTime();
    case QMetaType::QDate:
        return QDateTime(value.toDate(), QTime(0, 0));
    case QMetaType::QString:
        for (const char* format : {"yyyy-MM-dd HH:mm", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd"}) {
            const QDateTime read =
                QDateTime::fromString(value.toString().trimmed(), QLatin1String(format));
            if (read.isValid())
                return read;
        }
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

} // namespace

ctlDateTime::ctlDateTime(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::ctlDateTime>())
{
    ui->setupUi(this);
    for (QLineEdit* box : {ui->txtYear, ui->txtMonth, ui->txtDay, ui->txtHour, ui->txtMinute}) {
        modForms::SetNumbersOnly(box, true);
        const QString widest(box->maxLength() + 1, u'0');
        box->setFixedWidth(box->fontMetrics().horizontalAdvance(widest) + 12);
    }
}

ctlDateTime::~ctlDateTime() = default;

QSize ctlDateTime::sizeHint() const
{
    return layout()->sizeHint();
}

QVariant ctlDateTime::DateTime() const
{
    const int year = Number(ui->txtYear);
    const int month = Number(ui->txtMonth);
    const int day = Number(ui->txtDay);
    const int hour = Number(ui->txtHour, 0);
    const int minute = Number(ui->txtMinute, 0);
    const bool valid = day >= 1 && day <= 31 && month >= 1 && month <= 12 && year >= 1900 &&
                       year <= 2999 && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59;
    if (!valid)
        return QVariant();
    return QString::number(year) + u'-' + TwoDigits(month) + u'-' + TwoDigits(day) + u' ' +
           TwoDigits(hour) + u':' + TwoDigits(minute);
}

void ctlDateTime::SetDateTime(const QVariant& value)
{
    const std::optional<QDateTime> read = AsDateTime(value);
    const bool date = read && read->isValid();
    const QTime time = date ? read->time() : QTime();
    const bool midnight = date && time.hour() == 0 && time.minute() == 0;
    ui->txtYear->setText(date ? QString::number(read->date().year()) : QString());
    ui->txtMonth->setText(date ? TwoDigits(read->date().month()) : QString());
    ui->txtDay->setText(date ? TwoDigits(read->date().day()) : QString());
    ui->txtHour->setText(date && time.hour() != 0 ? TwoDigits(time.hour()) : QString());
    ui->txtMinute->setText(date && !midnight ? TwoDigits(time.minute()) : QString());
}
