#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class frmMailCfg;
}
class QLineEdit;
class ctlBalloonTip;

// The mail setup dialog: local mail system or a remote SMTP server, with
// login, encryption, the certificates trusted and the sending limits. It
// reads the settings when it opens and writes them only when every check
// passed; it keeps no settings object while open.
class frmMailCfg : public QDialog
{
    Q_OBJECT

public:
    // Shows the dialog modally; returns whether the settings were saved.
    static bool Edit(QWidget* owner);

    ~frmMailCfg() override;

private:
    explicit frmMailCfg(QWidget* owner);
    void SetCaptions();
    void LoadSettings();
    void UpdateEnabled();
    void EncryptionChosen();
    void BrowseCAFile();
    void cmdOK_Click();
    bool Validate();
    bool Save();
    void Refuse(QWidget* target, int textId);
    bool RefuseNumber(QLineEdit* box, int noDigitText, int badNumberText, int lowest, int highest);

    std::unique_ptr<Ui::frmMailCfg> ui;
    ctlBalloonTip* m_balloon = nullptr;
};
