#pragma once

#include "controls/ToolTip.h"

#include <QWidget>
#include <memory>

namespace Ui {
class ctlWizPreview;
}

// The Preview step's panel: which merged mail is shown, the four moves, and
// Lock and Unlock. It only counts and asks; the main window shows the mails
// and does the merging.
class ctlWizPreview : public QWidget
{
    Q_OBJECT

public:
    explicit ctlWizPreview(QWidget* parent = nullptr);
    ~ctlWizPreview() override;

    qint32 MailCount() const { return m_mailCount; }
    void SetMailCount(qint32 count);
    // 1-based; 0 after Reset.
    qint32 CurrentMail() const { return m_currentMail; }

    void MoveFirst();
    void MovePrevious();
    void MoveNext();
    void MoveLast();
    // No mail shown, and Unlock is the button to use.
    void Reset();

Q_SIGNALS:
    void LockMails();
    void UnlockMails();
    void Move(qint32 Index);

private:
    void MoveTo(qint32 position);
    void ShowCount();
    void SetLocked(bool locked);

    std::unique_ptr<Ui::ctlWizPreview> ui;
    ToolTip m_tips;
    qint32 m_mailCount = 0;
    qint32 m_currentMail = 0;
};
