#include "merge/ctlWizPreview.h"

#include "base/Texts.h"
#include "controls/Dialogs.h"
#include "ui_ctlWizPreview.h"

ctlWizPreview::ctlWizPreview(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::ctlWizPreview>())
{
    ui->setupUi(this);
    ui->lblTitle->setText(LoadResString(2601));
    ui->lblDescription->setText(LoadResString(2602));
    ui->lblSection->setText(LoadResString(2603));
    ui->lblSectionText->setText(LoadResString(2604));
    ui->cmdUnlock->setText(LoadResString(2605));
    ui->cmdLock->setText(LoadResString(2606));
    ui->cmdMoveFirst->setText(QStringLiteral("|<"));
    ui->cmdMoveLast->setText(QStringLiteral(">|"));
    m_tips.StartTip(this);
    const struct
    {
        QWidget* control;
        int tip;
    } tips[] = {{ui->cmdMoveFirst, 2608}, {ui->cmdMovePrevious, 2609}, {ui->cmdMoveNext, 2610},
                {ui->cmdMoveLast, 2611},  {ui->cmdUnlock, 2612},       {ui->cmdLock, 2613}};
    for (const auto& t : tips)
        m_tips.SetToolTip(t.control, LoadResString(t.tip));

    connect(ui->cmdMoveFirst, &QToolButton::clicked, this, &ctlWizPreview::MoveFirst);
    connect(ui->cmdMovePrevious, &QToolButton::clicked, this, &ctlWizPreview::MovePrevious);
    connect(ui->cmdMoveNext, &QToolButton::clicked, this, &ctlWizPreview::MoveNext);
    connect(ui->cmdMoveLast, &QToolButton::clicked, this, &ctlWizPreview::MoveLast);
    connect(ui->cmdUnlock, &QPushButton::clicked, this, [this] {
        SetLocked(false);
        Q_EMIT UnlockMails();
    });
    connect(ui->cmdLock, &QPushButton::clicked, this, [this] {
        const QString question = Texts::MessageBoxText(LoadResString(114), 2);
        if (Dialogs::Message(window(), question, QMessageBox::Yes | QMessageBox::No,
                             Dialogs::Icon::Information) != QMessageBox::Yes)
            return;
        SetLocked(true);
        Q_EMIT LockMails();
    });
    Reset();
}

ctlWizPreview::~ctlWizPreview() = default;

void ctlWizPreview::SetMailCount(qint32 count)
{
    m_mailCount = count;
    ShowCount();
}

void ctlWizPreview::Reset()
{
    m_currentMail = 0;
    SetLocked(true);
    ShowCount();
}

void ctlWizPreview::SetLocked(bool locked)
{
    ui->cmdUnlock->setEnabled(locked);
    ui->cmdLock->setEnabled(!locked);
}

void ctlWizPreview::MoveFirst()
{
    MoveTo(1);
}

void ctlWizPreview::MovePrevious()
{
    if (m_currentMail > 1)
        MoveTo(m_currentMail - 1);
}

void ctlWizPreview::MoveNext()
{
    if (m_currentMail < m_mailCount)
        MoveTo(m_currentMail + 1);
}

void ctlWizPreview::MoveLast()
{
    MoveTo(m_mailCount);
}

void ctlWizPreview::MoveTo(qint32 position)
{
    m_currentMail = position;
    ShowCount();
    Q_EMIT Move(m_currentMail);
}

void ctlWizPreview::ShowCount()
{
    ui->lblCount->setText(LoadResString(2607)
                              .replace(QLatin1String("#ITEM#"), QString::number(m_currentMail))
                              .replace(QLatin1String("#COUNT#"), QString::number(m_mailCount)));
}
