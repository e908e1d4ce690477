#include "merge/ctlWizCompose.h"

#include "base/Texts.h"
#include "controls/ctlBalloonTip.h"
#include "merge/MergeFields.h"
#include "platform/recordset/Recordset.h"
#include "ui_ctlWizCompose.h"

ctlWizCompose::ctlWizCompose(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::ctlWizCompose>())
{
    ui->setupUi(this);
    m_balloon = new ctlBalloonTip(this);
    ui->lblCaption->setText(LoadResString(2501));
    ui->lblDescription->setText(LoadResString(2502));
    ui->lblFields->setText(LoadResString(2503));
    ui->cmdInsertField->setText(LoadResString(2504));
    m_tips.StartTip(this);
    m_tips.SetToolTip(ui->lstFields, LoadResString(2505));
    m_tips.SetToolTip(ui->cmdInsertField, LoadResString(2506));
    connect(ui->cmdInsertField, &QPushButton::clicked, this, &ctlWizCompose::cmdInsertField_Click);
    connect(ui->lstFields, &QListWidget::itemDoubleClicked, this,
            &ctlWizCompose::cmdInsertField_Click);
}

ctlWizCompose::~ctlWizCompose() = default;

void ctlWizCompose::UpdateFieldsMenu(const Recordset& recipients)
{
    ui->lstFields->clear();
    if (recipients.State() != Recordset::StateOpen)
        return;
    for (int i = 0; i < recipients.FieldCount(); ++i)
        ui->lstFields->addItem(MergeFields::ColumnLabel(recipients.FieldName(i), i + 1));
}

void ctlWizCompose::cmdInsertField_Click()
{
    const auto selected = ui->lstFields->selectedItems();
    if (selected.isEmpty()) {
        const QString text = LoadResString(601);
        m_balloon->ShowBalloonTip(ui->lstFields, Texts::BalloonTitle(text),
                                  Texts::BalloonBody(text), ctlBalloonTip::IconInfo);
        return;
    }
    Q_EMIT InsertField(MergeFields::MarkerForEntry(selected.first()->text()));
}
