#pragma once

#include <QString>
#include <QVariant>

// One saved filter row of a recipient list: the column it tests, how it joins
// the row before it, which operator the user picked and the value.
class Filter
{
public:
    // How a row joins the row before it. The numbers are stored.
    enum Logical : qint32 { And = 0, Or = 1 };

    // Column name exactly as the record set reports it.
    const QString& Data() const { return m_data; }
    void SetData(const QString& data) { m_data = data; }

    // A string for text and number columns, a 16-bit 0 or 1 for yes/no, the
    // date/time text or null (an invalid QVariant) for date columns, and an
    // empty string when the row has no value. Read back from the store it is
    // always text.
    const QVariant& Value() const { return m_value; }
    void SetValue(const QVariant& value) { m_value = value; }

    // 0 = AND, 1 = OR; ignored on the first row but kept.
    qint32 LogicalOperator() const { return m_logicalOperator; }
    void SetLogicalOperator(qint32 logicalOperator) { m_logicalOperator = logicalOperator; }

    // The position in the operator list shown for the column's value kind,
    // not the operator code: a yes/no "Not equal to" is 1 here.
    qint32 ComparisonOperator() const { return m_comparisonOperator; }
    void SetComparisonOperator(qint32 comparisonOperator) { m_comparisonOperator = comparisonOperator; }

    bool operator==(const Filter&) const = default;

private:
    QString m_data;
    QVariant m_value = QString();
    qint32 m_logicalOperator = And;
    qint32 m_comparisonOperator = 0;
};
