#pragma once

#include <QVariant>
#include <QWidget>
#include <memory>

namespace Ui {
class ctlDateTime;
}

// A date and time typed into five small boxes: year, month, day, hour and
// minute. An empty hour or minute counts as 0.
class ctlDateTime : public QWidget
{
    Q_OBJECT

public:
    explicit ctlDateTime(QWidget* parent = nullptr);
    ~ctlDateTime() override;

    // "2005-03-05 09:07" when the boxes hold a day 1-31, a month 1-12, a
    // year 1900-2999, an hour 0-23 and a minute 0-59; null otherwise.
    QVariant DateTime() const;
    // A date, a date and time, or a text in the form DateTime() gives fills
    // the boxes (an hour of 0 and a minute of 0 at midnight stay empty);
    // anything else empties them.
    void SetDateTime(const QVariant& value);

    // Each box grows to hold its digits; the control keeps to them.
    QSize sizeHint() const override;

private:
    std::unique_ptr<Ui::ctlDateTime> ui;
};
