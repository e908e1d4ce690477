#include "controls/RecordsetTableModel.h"

#include "controls/ToolTip.h"
#include "platform/recordset/Recordset.h"

RecordsetTableModel::RecordsetTableModel(QObject* parent) : QAbstractTableModel(parent) {}

int RecordsetTableModel::VisibleRows() const
{
    if (!m_recordset || m_recordset->State() != Recordset::StateOpen)
        return 0;
    return m_recordset->RecordCount();
}

void RecordsetTableModel::Bind(const Recordset* recordset, const QStringList& headings)
{
    beginResetModel();
    m_recordset = recordset;
    m_headings.clear();
    if (recordset) {
        for (int i = 0; i < recordset->FieldCount(); ++i)
            m_headings.append(i < headings.size() ? headings[i] : recordset->FieldName(i));
    }
    m_rows = VisibleRows();
    endResetModel();
}

void RecordsetTableModel::RowsAppended()
{
    const int rows = VisibleRows();
    if (rows <= m_rows)
        return;
    beginInsertRows(QModelIndex(), m_rows, rows - 1);
    m_rows = rows;
    endInsertRows();
}

int RecordsetTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int RecordsetTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_headings.size());
}

QVariant RecordsetTableModel::data(const QModelIndex& index, int role) const
{
    // Rows the view has not been told are gone yet read as empty.
    if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) || !index.isValid() ||
        index.row() >= VisibleRows())
        return {};
    const QString text = m_text.Text(m_recordset->ValueAt(index.row(), index.column()));
    // The whole text, for a cell too narrow to show it.
    return role == Qt::ToolTipRole ? ToolTip::TipText(text) : text;
}

QVariant RecordsetTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section < m_headings.size() ? m_headings[section] : QVariant();
    return section + 1;
}
