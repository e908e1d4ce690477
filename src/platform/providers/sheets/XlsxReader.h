#pragma once

#include "platform/recordset/Recordset.h"

#include <QString>
#include <QStringList>

#include <memory>

// An Excel 2007+ workbook (.xlsx, transitional or strict): the zip package is
// opened once; each part is parsed as it is inflated, never whole in memory.
// Worksheets only (chart sheets hold no cells); hidden sheets count.
//
// Failures raise AppError with WorkbookError numbers: not a zip, a broken or
// cut-short package, a part that is too large (zip bombs) or carries a DTD
// (entity bombs), a sheet that is not there.
class XlsxReader
{
public:
    explicit XlsxReader(const QString& path);
    ~XlsxReader();
    XlsxReader(const XlsxReader&) = delete;
    XlsxReader& operator=(const XlsxReader&) = delete;

    // Worksheet names in workbook order.
    QStringList SheetNames() const;

    // The sheet of exactly that name, as SheetTable builds it.
    Recordset ReadSheet(const QString& name, bool header);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
