#pragma once

#include "platform/recordset/Recordset.h"

#include <QString>
#include <QStringList>

#include <memory>

// An Excel 97-2003 workbook (.xls, BIFF5 and BIFF8), read with FreeXL. The
// compound file is looked at first, so that an encrypted workbook is reported
// as such rather than as unreadable. FreeXL leaves formula cells empty and
// gives booleans and error values alike as small integers; the records of the
// sheet are read alongside (XlsBiff) to give formulas their last computed
// values and to tell booleans from errors. A sound workbook that FreeXL
// refuses is read from its records alone.
class XlsReader
{
public:
    // Records only: the way a workbook FreeXL refuses is read, chosen
    // outright so that it can be checked against FreeXL on any workbook.
    enum class Engine { Auto, RecordsOnly };

    explicit XlsReader(const QString& path, Engine engine = Engine::Auto);
    ~XlsReader();
    XlsReader(const XlsReader&) = delete;
    XlsReader& operator=(const XlsReader&) = delete;

    QStringList SheetNames() const;
    Recordset ReadSheet(const QString& name, bool header);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
