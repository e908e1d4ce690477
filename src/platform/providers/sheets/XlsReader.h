#pragma once

#include "platform/providers/sheets/XlsBiff.h"
#include "platform/recordset/Recordset.h"

#include <QString>
#include <QStringList>

// An Excel 97-2003 workbook (.xls, BIFF5 and BIFF8), read from its records:
// the workbook stream is taken out of the compound file (XlsCompoundFile) and
// its records read by XlsBiff. An encrypted workbook (or an encrypted Excel
// 2007 workbook, which sits in the same kind of container) is reported as
// such rather than as unreadable.
class XlsReader
{
public:
    explicit XlsReader(const QString& path);

    QStringList SheetNames() const { return m_names; }
    Recordset ReadSheet(const QString& name, bool header) const;

    // The cells of a sheet as its records give them, for a caller that
    // builds something else of them.
    void ReadCells(const QString& name, SheetCellSink& sink) const;

private:
    XlsBiff m_records;
    QStringList m_names;
};
