#include "delivery/frmTextExport.h"

#include "base/Texts.h"
#include "controls/modForms.h"
#include "ui_frmTextExport.h"

#include <QFontDatabase>

frmTextExport::frmTextExport(QWidget* owner, const QStringList& fieldNames,
                             const QList<QStringList>& sampleRows)
    : QDialog(owner), ui(std::make_unique<Ui::frmTextExport>()), m_fieldNames(fieldNames),
      m_sampleRows(sampleRows.mid(0, SampleRowCount))
{
    ui->setupUi(this);
    setWindowTitle(LoadResString(3500));
    ui->fraDelimiter->setTitle(LoadResString(3501));
    ui->fraQualifier->setTitle(LoadResString(3507));
    const struct
    {
        QAbstractButton* control;
        int textId;
    } captions[] = {{ui->rdoDelimiterTab, 3502},
                    {ui->rdoDelimiterSemicolon, 3503},
                    {ui->rdoDelimiterComma, 3504},
                    {ui->rdoDelimiterSpace, 3505},
                    {ui->rdoDelimiterOther, 3506},
                    {ui->rdoQuoteDouble, 3508},
                    {ui->rdoQuoteSingle, 3509},
                    {ui->rdoQuoteNone, 3510},
                    {ui->chkFirstRowIsColumns, 3511},
                    {ui->cmdOK, 2},
                    {ui->cmdCancel, 4}};
    for (const auto& caption : captions)
        caption.control->setText(LoadResString(caption.textId));
    // What a spreadsheet reads without being asked.
    ui->rdoDelimiterComma->setChecked(true);
    ui->rdoQuoteDouble->setChecked(true);
    ui->chkFirstRowIsColumns->setChecked(true);
    ui->txtTextDelimiter->setEnabled(false);

    for (const auto& caption : captions)
        if (caption.control->isCheckable())
            connect(caption.control, &QAbstractButton::toggled, this,
                    &frmTextExport::UpdatePreview);
    connect(ui->txtTextDelimiter, &QLineEdit::textChanged, this, &frmTextExport::UpdatePreview);
    connect(ui->rdoDelimiterOther, &QAbstractButton::toggled, this, [this](bool on) {
        ui->txtTextDelimiter->setEnabled(on);
        if (on)
            ui->txtTextDelimiter->setFocus();
    });
    connect(ui->cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    modForms::ApplyFonts(this);
    modForms::InstallHelpKey(this);
    // Columns of text line up only in a fixed-width font.
    ui->txtPreview->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    UpdatePreview();
}

frmTextExport::~frmTextExport() = default;

TextReport::Format frmTextExport::ChosenFormat() const
{
    TextReport::Format format;
    if (ui->rdoDelimiterTab->isChecked())
        format.Delimiter = QStringLiteral("\t");
    else if (ui->rdoDelimiterSemicolon->isChecked())
        format.Delimiter = QStringLiteral(";");
    else if (ui->rdoDelimiterComma->isChecked())
        format.Delimiter = QStringLiteral(",");
    else if (ui->rdoDelimiterSpace->isChecked())
        format.Delimiter = QStringLiteral(" ");
    else {
        // The first character only, a surrogate pair whole.
        const QString other = ui->txtTextDelimiter->text();
        format.Delimiter = other.left(!other.isEmpty() && other.at(0).isHighSurrogate() ? 2 : 1);
    }
    if (ui->rdoQuoteDouble->isChecked())
        format.Qualifier = QStringLiteral("\"");
    else if (ui->rdoQuoteSingle->isChecked())
        format.Qualifier = QStringLiteral("'");
    format.FirstRowIsColumns = ui->chkFirstRowIsColumns->isChecked();
    return format;
}

void frmTextExport::UpdatePreview()
{
    const TextReport::Format format = ChosenFormat();
    // Without a delimiter the values would run together.
    ui->cmdOK->setEnabled(!format.Delimiter.isEmpty());
    ui->txtPreview->setPlainText(TextReport::Text(m_fieldNames, m_sampleRows, format));
}

TextReport::Format frmTextExport::ShowFormatDialog(QWidget* owner, const QStringList& FieldNames,
                                                   const QList<QStringList>& SampleRows)
{
    frmTextExport dialog(owner, FieldNames, SampleRows);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.ChosenFormat();
}
