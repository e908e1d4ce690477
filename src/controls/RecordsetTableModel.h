#pragma once

#include "merge/MergeValueText.h"

#include <QAbstractTableModel>
#include <QStringList>

class Recordset;

// A read-only table over a record set's visible rows, for the grids. It keeps
// nothing per row: the view asks for a cell when it paints it, and the cell
// is read from the record set in place and turned into the text the merge
// would put into a mail.
//
// The model does not own the record set. Bind it again after the record set
// was replaced or its filter changed; call RowsAppended after rows were
// added at its end, which the view then learns of as an insertion.
class RecordsetTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit RecordsetTableModel(QObject* parent = nullptr);

    // Shows the record set with these column headings (one per field; a
    // missing heading is the field's name). Null shows an empty grid.
    void Bind(const Recordset* recordset, const QStringList& headings = {});
    void Unbind() { Bind(nullptr); }
    const Recordset* BoundRecordset() const { return m_recordset; }

    // Announces rows added at the end of the bound record set since the
    // view last saw it.
    void RowsAppended();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    int VisibleRows() const;

    const Recordset* m_recordset = nullptr;
    QStringList m_headings;
    int m_rows = 0;
    MergeValueText m_text;
};
