#pragma once

#include "platform/recordset/Recordset.h"

#include <QString>

// The ten columns of the benchmarks' recipient tables, opened and empty: an
// id, first and last name, e-mail, city, one more short text (named by the
// caller), age, balance, a date joined and a note.
inline Recordset OpenRecipientTable(const QString& sixthColumn, qint64 noteSize)
{
    Recordset rs;
    rs.AppendField(QStringLiteral("Id"), AdoType::Integer, 4);
    rs.AppendField(QStringLiteral("FirstName"), AdoType::VarWChar, 50);
    rs.AppendField(QStringLiteral("LastName"), AdoType::VarWChar, 50);
    rs.AppendField(QStringLiteral("EMail"), AdoType::VarWChar, 100);
    rs.AppendField(QStringLiteral("City"), AdoType::VarWChar, 50);
    rs.AppendField(sixthColumn, AdoType::VarWChar, 50);
    rs.AppendField(QStringLiteral("Age"), AdoType::SmallInt, 2);
    rs.AppendField(QStringLiteral("Balance"), AdoType::Currency, 8);
    rs.AppendField(QStringLiteral("Joined"), AdoType::DBTimeStamp, 16);
    rs.AppendField(QStringLiteral("Note"), AdoType::VarWChar, noteSize);
    rs.Open();
    return rs;
}
