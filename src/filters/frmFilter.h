#pragma once

#include "filters/FilterCriteria.h"

#include <QDialog>
#include <array>
#include <memory>

namespace Ui {
class frmFilter;
}
class QCheckBox;
class QComboBox;
class QLineEdit;
class Filters;
class Recordset;
class ctlBalloonTip;
class ctlDateTime;

// The filter dialog: up to eight rows of column, operator, value and how
// each row joins the one before it, over the columns of the imported
// recipients. OK applies the rows; the list keeps them only when at least
// one recipient passes.
class frmFilter : public QDialog
{
    Q_OBJECT

public:
    static constexpr int RowCount = 8;

    // Shows the dialog modally over the owner, with the list's saved rows.
    // True when a filter was applied to `recipients` and `listFilters` now
    // holds its rows; false when nothing changed.
    static bool ShowFilter(QWidget* owner, Recordset& recipients, Filters& listFilters);

    ~frmFilter() override;

private:
    // The controls of one row.
    struct Row
    {
        QComboBox* cboClause = nullptr;
        QComboBox* cboData = nullptr;
        QComboBox* cboOperator = nullptr;
        QLineEdit* txtValue = nullptr;
        QCheckBox* chkValue = nullptr;
        ctlDateTime* dtmValue = nullptr;
        QLineEdit* txtnumValue = nullptr;
    };

    frmFilter(QWidget* owner, Recordset& recipients, Filters& listFilters);

    void FillRows();
    void RestoreFilters();
    void DataChanged(int index);
    void ShowEditor(const Row& row, qint32 kind, bool enabled);
    FilterCriteria::FilterRow ReadRow(int index) const;
    void cmdClearAll_Click();
    void cmdOK_Click();

    std::unique_ptr<Ui::frmFilter> ui;
    ctlBalloonTip* m_balloon = nullptr;
    Recordset& m_recipients;
    Filters& m_listFilters;
    std::array<Row, RowCount> m_rows;
};
