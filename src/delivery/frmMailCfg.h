#pragma once

#include "platform/oauth/OAuthProvider.h"

#include <QDialog>

#include <memory>
#include <optional>

namespace Ui {
class frmMailCfg;
}
class QLineEdit;
class OAuthSignIn;
class ctlBalloonTip;

// The mail setup dialog: local mail system or a remote SMTP server, with
// login (a password, or a sign-in with a provider), encryption, the
// certificates trusted and the sending limits. It reads the settings when
// it opens and writes them, with the secrets, only when every check passed;
// it keeps no settings object while open. A sign-in or sign-out made here
// counts only once OK saves.
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
    void AuthenticationKindChosen();
    OAuthProvider ProviderFromFields() const;
    bool ValidateProvider();
    void StartSignIn(bool withCode);
    void SignInEnded();
    void ShowSignInState();
    void cmdOK_Click();
    bool Validate();
    bool Save();
    void Refuse(QWidget* target, int textId);
    bool RefuseNumber(QLineEdit* box, int noDigitText, int badNumberText, int lowest, int highest);

    std::unique_ptr<Ui::frmMailCfg> ui;
    ctlBalloonTip* m_balloon = nullptr;
    OAuthSignIn* m_signIn = nullptr; // while a sign-in runs
    QString m_loadedServer;          // whose secrets the dialog opened with
    QString m_loadedUser;
    QString m_signedInAs;            // empty: not signed in
    std::optional<OAuthGrant> m_newGrant; // signed in here
    bool m_signOut = false;               // signed out here
    bool m_noKeyring = false;
    struct Reached // how the server was reached before a preset replaced it
    {
        QString server;
        QString port;
        int encryption = 0;
    };
    std::optional<Reached> m_beforePreset;
};
