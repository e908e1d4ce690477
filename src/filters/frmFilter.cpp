#include "filters/frmFilter.h"

#include "base/Texts.h"
#include "controls/Dialogs.h"
#include "controls/WaitCursor.h"
#include "controls/ctlBalloonTip.h"
#include "controls/modForms.h"
#include "filters/Filters.h"
#include "filters/ctlDateTime.h"
#include "platform/recordset/Recordset.h"
#include "ui_frmFilter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpressionValidator>

using namespace FilterCriteria;

namespace {

template <typename T> T* RowControl(QWidget* dialog, const char* name, int index)
{
    return dialog->findChild<T*>(QString::fromLatin1(name) + u'_' + QString::number(index));
}

qint32 KindOf(const QComboBox* cboData)
{
    return cboData->currentIndex() >= 1 ? cboData->currentData().toInt() : NoValueKind;
}

} // namespace

frmFilter::frmFilter(QWidget* owner, Recordset& recipients, Filters& listFilters)
    : QDialog(owner), ui(std::make_unique<Ui::frmFilter>()), m_recipients(recipients),
      m_listFilters(listFilters)
{
    WaitCursor wait;
    wait.SetPointer(WaitCursor::Hourglass);
    ui->setupUi(this);
    m_balloon = new ctlBalloonTip(this);
    setWindowTitle(LoadResString(500));
    ui->lblData->setText(LoadResString(503));
    ui->lblOperator->setText(LoadResString(504));
    ui->lblValue->setText(LoadResString(505));
    ui->cmdClearAll->setText(LoadResString(502));
    ui->cmdOK->setText(LoadResString(2));
    ui->cmdCancel->setText(LoadResString(4));
    for (int i = 0; i < RowCount; ++i) {
        m_rows[i] = {RowControl<QComboBox>(this, "cboClause", i),
                     RowControl<QComboBox>(this, "cboData", i),
                     RowControl<QComboBox>(this, "cboOperator", i),
                     RowControl<QLineEdit>(this, "txtValue", i),
                     RowControl<QCheckBox>(this, "chkValue", i),
                     RowControl<ctlDateTime>(this, "dtmValue", i),
                     RowControl<QLineEdit>(this, "txtnumValue", i)};
        connect(m_rows[i].cboData, &QComboBox::activated, this, [this, i] { DataChanged(i); });
    }
    FillRows();
    RestoreFilters();
    connect(ui->cmdClearAll, &QPushButton::clicked, this, &frmFilter::cmdClearAll_Click);
    connect(ui->cmdOK, &QPushButton::clicked, this, &frmFilter::cmdOK_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    modForms::ApplyFonts(this);
    modForms::InstallHelpKey(this);
}

frmFilter::~frmFilter() = default;

bool frmFilter::ShowFilter(QWidget* owner, Recordset& recipients, Filters& listFilters)
{
    frmFilter dialog(owner, recipients, listFilters);
    return dialog.exec() == QDialog::Accepted;
}

void frmFilter::FillRows()
{
    QStringList names;
    QList<qint32> kinds;
    for (int field = 0; field < m_recipients.FieldCount(); ++field) {
        const qint32 kind = ValueKindOfType(m_recipients.FieldType(field));
        const QString name = m_recipients.FieldName(field);
        if (name.isEmpty() || kind == NoValueKind)
            continue;
        names << name;
        kinds << kind;
    }
    for (const Row& row : m_rows) {
        row.cboClause->addItems({QStringLiteral("And"), QStringLiteral("Or")});
        row.cboClause->setCurrentIndex(-1);
        for (const OperatorChoice& choice : OperatorList(TextKind))
            row.cboOperator->addItem(OperatorText(choice), int(choice.Code));
        row.cboData->addItem(LoadResString(514), 0);
        for (qsizetype i = 0; i < names.size(); ++i)
            row.cboData->addItem(names.at(i), kinds.at(i));
        row.cboData->setCurrentIndex(-1);
        // Digits only would refuse the sign and the decimal point that
        // number and currency columns need.
        row.txtnumValue->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("-?[0-9]*[.]?[0-9]*")), row.txtnumValue));
    }
    // Row 0 joins nothing.
    m_rows[0].cboClause->setEnabled(false);
    DataChanged(0);
}

void frmFilter::RestoreFilters()
{
    for (int i = 0; i < RowCount && i < m_listFilters.Count(); ++i) {
        const Filter& saved = m_listFilters.Item(i + 1);
        const Row& row = m_rows[i];
        // Exact, case-sensitive: a saved "Country" does not find "COUNTRY".
        int found = -1;
        for (int item = 1; item < row.cboData->count() && found < 0; ++item)
            if (row.cboData->itemText(item) == saved.Data())
                found = item;
        if (found < 0)
            break;
        row.cboClause->setCurrentIndex(saved.LogicalOperator());
        row.cboData->setCurrentIndex(found);
        DataChanged(i);
        row.cboOperator->setCurrentIndex(saved.ComparisonOperator());
        switch (KindOf(row.cboData)) {
        case NumberKind:
            row.txtnumValue->setText(saved.Value().toString());
            break;
        case YesNoKind:
            row.chkValue->setChecked(saved.Value().toInt() != 0);
            break;
        case DateTimeKind:
            row.dtmValue->SetDateTime(saved.Value());
            break;
        default:
            row.txtValue->setText(saved.Value().toString());
            break;
        }
    }
}

void frmFilter::ShowEditor(const Row& row, qint32 kind, bool enabled)
{
    // An empty row shows a disabled text box, so the rows keep their height.
    row.txtValue->setVisible(kind == TextKind || kind == NoValueKind);
    row.chkValue->setVisible(kind == YesNoKind);
    row.dtmValue->setVisible(kind == DateTimeKind);
    row.txtnumValue->setVisible(kind == NumberKind);
    row.txtValue->clear();
    row.txtnumValue->clear();
    row.chkValue->setChecked(false);
    row.dtmValue->SetDateTime(QVariant());
    for (QWidget* editor :
         {static_cast<QWidget*>(row.txtValue), static_cast<QWidget*>(row.chkValue),
          static_cast<QWidget*>(row.dtmValue), static_cast<QWidget*>(row.txtnumValue)})
        editor->setEnabled(enabled);
}

void frmFilter::DataChanged(int index)
{
    const Row& row = m_rows[index];
    const qint32 kind = KindOf(row.cboData);
    if (kind != NoValueKind) {
        row.cboOperator->clear();
        for (const OperatorChoice& choice : OperatorList(kind))
            row.cboOperator->addItem(OperatorText(choice), int(choice.Code));
        row.cboOperator->setCurrentIndex(0);
        ShowEditor(row, kind, true);
        row.cboOperator->setEnabled(true);
        if (index + 1 < RowCount) {
            const Row& next = m_rows[index + 1];
            next.cboClause->setEnabled(true);
            next.cboClause->setCurrentIndex(0);
            next.cboData->setEnabled(true);
        }
        return;
    }
    row.cboOperator->clear();
    row.cboOperator->setEnabled(false);
    ShowEditor(row, NoValueKind, false);
    if (index + 1 < RowCount) {
        const Row& next = m_rows[index + 1];
        next.cboData->setCurrentIndex(-1);
        DataChanged(index + 1);
        next.cboData->setEnabled(false);
        next.cboClause->setCurrentIndex(-1);
        next.cboClause->setEnabled(false);
    }
}

FilterRow frmFilter::ReadRow(int index) const
{
    const Row& row = m_rows[index];
    FilterRow read;
    read.LogicalOperator = row.cboClause->currentIndex();
    read.Kind = KindOf(row.cboData);
    read.ComparisonOperator = row.cboOperator->currentIndex();
    switch (read.Kind) {
    case TextKind:
        read.Value = row.txtValue->text();
        break;
    case YesNoKind:
        read.Value = QVariant::fromValue<qint16>(row.chkValue->isChecked() ? 1 : 0);
        break;
    case DateTimeKind:
        read.Value = row.dtmValue->DateTime();
        break;
    case NumberKind:
        read.Value = row.txtnumValue->text();
        break;
    default:
        return read; // "(none)" or no choice: no column, an empty value
    }
    read.Data = row.cboData->currentText();
    return read;
}

void frmFilter::cmdClearAll_Click()
{
    m_rows[0].cboData->setCurrentIndex(-1);
    DataChanged(0);
}

void frmFilter::cmdOK_Click()
{
    WaitCursor wait;
    wait.SetPointer(WaitCursor::Hourglass);
    QList<FilterRow> rows;
    for (int i = 0; i < RowCount; ++i)
        rows << ReadRow(i);
    const ApplyResult result = ApplyFilterRows(m_recipients, m_listFilters, rows);
    switch (result.Result) {
    case ApplyResult::NotOpen:
        reject();
        return;
    case ApplyResult::Applied:
        accept();
        return;
    case ApplyResult::NoRecords: {
        const QString text = LoadResString(501);
        m_balloon->ShowBalloonTip(ui->cmdOK, Texts::BalloonTitle(text), Texts::BalloonBody(text),
                                  ctlBalloonTip::IconInfo);
        return;
    }
    case ApplyResult::Rejected:
        wait.Restore();
        Dialogs::Message(this,
                         LoadResString(4130) + QStringLiteral("\n\n") + result.Error->Description(),
                         QMessageBox::Ok, Dialogs::Icon::Critical);
        return;
    }
}
