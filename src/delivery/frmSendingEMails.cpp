#include "delivery/frmSendingEMails.h"

#include "base/Texts.h"
#include "controls/modForms.h"
#include "ui_frmSendingEMails.h"

frmSendingEMails::frmSendingEMails(QWidget* owner)
    : ProgressForm(owner), ui(std::make_unique<Ui::frmSendingEMails>())
{
    ui->setupUi(this);
    setWindowTitle(LoadResString(1000));
    ui->lblSend->setText(LoadResString(1001));
    Attach(ui->prgSendMails, ui->lblCount, ui->cmdCancel, 1002);
    modForms::ApplyFonts(this);
}

frmSendingEMails::~frmSendingEMails() = default;

void frmSendingEMails::ShowWaiting(qint64 msecsLeft, int count)
{
    ui->lblWait->setVisible(count > 0);
    if (count <= 0)
        return;
    const qint64 seconds = (msecsLeft + 999) / 1000;
    const QString time = QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    ui->lblWait->setText(LoadResString(4607)
                             .replace(QLatin1String("#TIME#"), time)
                             .replace(QLatin1String("#COUNT#"), QString::number(count)));
}
