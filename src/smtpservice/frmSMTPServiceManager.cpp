#include "smtpservice/frmSMTPServiceManager.h"

#include "base/Texts.h"
#include "controls/ctlBalloonTip.h"
#include "controls/modForms.h"
#include "ui_frmSMTPServiceManager.h"

namespace {

// Per state: its text and which of Start, Stop, Pause, Continue it offers.
struct StateView
{
    int textId;
    bool start, stop, pause, resume;
};

StateView ViewOf(qint32 state)
{
    switch (state) {
    case SmtpSvc::Stopped:
        return {806, true, false, false, false};
    case SmtpSvc::StartPending:
        return {807, false, false, false, false};
    case SmtpSvc::StopPending:
        return {808, false, false, false, false};
    case SmtpSvc::Running:
        return {809, false, true, true, false};
    case SmtpSvc::ContinuePending:
        return {810, false, false, false, false};
    case SmtpSvc::PausePending:
        return {811, false, false, false, false};
    case SmtpSvc::Paused:
        return {812, false, false, false, true};
    default:
        return {813, false, false, false, false};
    }
}

bool Settled(qint32 state)
{
    return state == SmtpSvc::Stopped || state == SmtpSvc::Running || state == SmtpSvc::Paused;
}

} // namespace

frmSMTPServiceManager::frmSMTPServiceManager(QWidget* owner)
    : QDialog(owner), ui(std::make_unique<Ui::frmSMTPServiceManager>())
{
    ui->setupUi(this);
    m_balloon = new ctlBalloonTip(this);
    setWindowTitle(LoadResString(800));
    const struct
    {
        QWidget* control;
        int textId;
    } captions[] = {{ui->lblServiceStatus, 816}, {ui->cmdStart, 801},    {ui->cmdStop, 802},
                    {ui->cmdPause, 803},         {ui->cmdContinue, 804}, {ui->cmdRefresh, 805},
                    {ui->cmdFinish, 8}};
    for (const auto& caption : captions)
        caption.control->setProperty("text", LoadResString(caption.textId));
    connect(ui->cmdStart, &QPushButton::clicked, this,
            [this] { Act(&SmtpSvc::Start, ui->cmdStart); });
    connect(ui->cmdStop, &QPushButton::clicked, this, [this] { Act(&SmtpSvc::Stop, ui->cmdStop); });
    connect(ui->cmdPause, &QPushButton::clicked, this,
            [this] { Act(&SmtpSvc::Pause, ui->cmdPause); });
    connect(ui->cmdContinue, &QPushButton::clicked, this,
            [this] { Act(&SmtpSvc::Continue, ui->cmdContinue); });
    connect(ui->cmdRefresh, &QPushButton::clicked, this, &frmSMTPServiceManager::Refresh);
    connect(ui->cmdFinish, &QPushButton::clicked, this, &QDialog::accept);
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer1.setInterval(200);
    connect(&m_timer1, &QTimer::timeout, this, &frmSMTPServiceManager::Timer1_Timer);
    modForms::ApplyFonts(this);
    modForms::InstallHelpKey(this);
    Refresh();
    // At least one more look follows.
    m_timer1.start();
}

frmSMTPServiceManager::~frmSMTPServiceManager() = default;

void frmSMTPServiceManager::Manage(QWidget* owner)
{
    frmSMTPServiceManager window(owner);
    window.exec();
}

void frmSMTPServiceManager::Refresh()
{
    ui->lblStatus->setText(LoadResString(815));
    for (QPushButton* button : {ui->cmdStart, ui->cmdStop, ui->cmdPause, ui->cmdContinue})
        button->setEnabled(false);
    if (!m_service.Exists()) {
        ui->lblStatus->setText(LoadResString(814));
        return;
    }
    const qint32 state = m_service.Status();
    const StateView view = ViewOf(state);
    ui->lblStatus->setText(LoadResString(view.textId));
    ui->cmdStart->setEnabled(view.start);
    ui->cmdStop->setEnabled(view.stop);
    ui->cmdPause->setEnabled(view.pause);
    ui->cmdContinue->setEnabled(view.resume);
    m_changing = !Settled(state);
}

void frmSMTPServiceManager::Act(bool (SmtpSvc::*action)(), QPushButton* button)
{
    // The system may ask for a password meanwhile: no second action, no poll.
    for (QPushButton* other : {ui->cmdStart, ui->cmdStop, ui->cmdPause, ui->cmdContinue})
        other->setEnabled(false);
    m_acting = true;
    const bool accepted = (m_service.*action)();
    m_acting = false;
    Refresh();
    if (!accepted) {
        // Without this the user would see no change and no reason.
        m_balloon->ShowBalloonTip(button, LoadResString(4240), m_service.LastRefusal(),
                                  ctlBalloonTip::IconWarning);
    }
    if (m_changing)
        m_timer1.start();
}

void frmSMTPServiceManager::Timer1_Timer()
{
    if (m_acting)
        return;
    Refresh();
    if (!m_changing)
        m_timer1.stop();
}
