#pragma once

#include "platform/recordset/Recordset.h"

#include <QByteArray>
#include <QIODevice>

// Writes a record set in the XML persistence format that XmlRecordsetReader
// reads: UTF-8, the row schema with a type for every column, then one z:row per
// row that passes the filter, a Null value left out. A name that cannot be an
// XML attribute name (blanks, a leading digit, an empty name, ...) is written
// as c1, c2, ... with the real name in rs:name.
//
// A text that XML cannot carry (control characters other than tab, line feed
// and carriage return) raises AppError(ErrUnwritable, Source, ...) rather than
// being changed on the way out.
class XmlRecordsetWriter
{
public:
    static constexpr long ErrUnwritable = 3001;

    static QByteArray Write(const Recordset& set);
    static void Write(const Recordset& set, QIODevice& device);
};
