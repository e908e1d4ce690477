#include "delivery/ctlWizSend.h"

#include "base/Texts.h"
#include "delivery/frmMailCfg.h"
#include "ui_ctlWizSend.h"

ctlWizSend::ctlWizSend(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::ctlWizSend>())
{
    ui->setupUi(this);
    const struct
    {
        QWidget* control;
        int caption;
        int tip;
    } texts[] = {
        {ui->lblTitle, 2801, 0},     {ui->lblDescription, 2802, 0},   {ui->lblSetup, 2803, 0},
        {ui->lblSetupText, 2804, 0}, {ui->cmdEMailSetup, 2805, 2812}, {ui->lblTest, 2806, 0},
        {ui->lblTestText, 2807, 0},  {ui->cmdTestEMail, 2808, 2813},  {ui->lblSend, 2809, 0},
        {ui->lblSendText, 2810, 0},  {ui->cmdSendEMails, 2811, 2814}};
    m_tips.StartTip(this);
    for (const auto& t : texts) {
        t.control->setProperty("text", LoadResString(t.caption));
        if (t.tip != 0)
            m_tips.SetToolTip(t.control, LoadResString(t.tip));
        // A section whose caption the string table lacks takes no room.
        if (qobject_cast<QLabel*>(t.control) && LoadResString(t.caption).isEmpty())
            t.control->hide();
    }
    connect(ui->cmdEMailSetup, &QPushButton::clicked, this, [this] { frmMailCfg::Edit(this); });
    connect(ui->cmdTestEMail, &QPushButton::clicked, this, &ctlWizSend::TestEMail);
    connect(ui->cmdSendEMails, &QPushButton::clicked, this, &ctlWizSend::SendMails);
}

ctlWizSend::~ctlWizSend() = default;
