#include "delivery/frmMailCfg.h"

#include "base/AppError.h"
#include "base/Texts.h"
#include "controls/Dialogs.h"
#include "controls/ctlBalloonTip.h"
#include "controls/modForms.h"
#include "delivery/MailConfiguration.h"
#include "delivery/MailSecrets.h"
#include "platform/keyring/SecretStore.h"
#include "platform/oauth/OAuthSignIn.h"
#include "platform/service/SmtpSvc.h"
#include "ui_frmMailCfg.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHostAddress>
#include <QUrl>
#include <QRegularExpression>
#include <QSslCertificate>

#include <algorithm>
#include <limits>

namespace {

// A whole number from a box: blanks around it are allowed, anything else
// is a type mismatch, and a value beyond [lowest, highest] an overflow.
struct Whole
{
    qint64 value = 0;
    QString error; // empty when the text converted
};

Whole ToWhole(const QString& text, qint64 lowest, qint64 highest)
{
    static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]+$"));
    const QString trimmed = text.trimmed();
    if (!digits.match(trimmed).hasMatch())
        return {0, LoadResString(4230)};
    bool ok = false;
    const qint64 value = trimmed.toLongLong(&ok);
    if (!ok || value < lowest || value > highest)
        return {0, LoadResString(4231)};
    return {value, {}};
}

Whole ToInt16(const QString& text)
{
    return ToWhole(text, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max());
}

// A sending limit: empty means none (0).
Whole ToLimit(const QString& text)
{
    return text.trimmed().isEmpty() ? Whole{}
                                    : ToWhole(text, 0, std::numeric_limits<qint32>::max());
}

bool HasDigit(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

// The choices of the sign-in box: a password, or one of the providers.
enum AuthenticationKind { PasswordKind = 0, Microsoft365Kind, GoogleKind, OtherKind };

int KindOf(OAuthProvider::Kind provider)
{
    return static_cast<int>(provider) + static_cast<int>(Microsoft365Kind);
}

// An endpoint must be encrypted, except on this machine's loopback where
// nothing leaves it.
bool IsEndpoint(const QString& text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == u"https")
        return true;
    return url.scheme() == u"http" && QHostAddress(url.host()).isLoopback();
}

} // namespace

frmMailCfg::frmMailCfg(QWidget* owner) : QDialog(owner), ui(std::make_unique<Ui::frmMailCfg>())
{
    ui->setupUi(this);
    m_balloon = new ctlBalloonTip(this);
    for (QLineEdit* box :
         {ui->txtSMTPConnectionTimeout, ui->txtSMTPServerPort, ui->txtSMTPMaxConnections,
          ui->txtSMTPMaxPerMinute, ui->txtSMTPMaxPerDay})
        modForms::SetNumbersOnly(box, true);
    ui->cboSMTPEncryption->addItem(LoadResString(4212), MailConfiguration::StartTls);
    ui->cboSMTPEncryption->addItem(LoadResString(4213), MailConfiguration::TlsFromStart);
    for (const int kind : {PasswordKind, Microsoft365Kind, GoogleKind, OtherKind})
        ui->cboAuthenticationKind->addItem(LoadResString(5151 + kind), kind);
    LoadSettings();
    SetCaptions();
    // The check boxes follow the stored credentials, not the stored choice.
    if (ui->txtPassword->text().isEmpty())
        ui->chkBlankPassword->setChecked(true);
    ui->chkAuthenticationRequired->setChecked(
        !(ui->chkBlankPassword->isChecked() && ui->txtUsername->text().isEmpty()) ||
        ui->cboAuthenticationKind->currentIndex() != PasswordKind);
    UpdateEnabled();
    ShowSignInState();

    for (QAbstractButton* button : {static_cast<QAbstractButton*>(ui->optSendUsing1),
                                    static_cast<QAbstractButton*>(ui->optSendUsing2),
                                    static_cast<QAbstractButton*>(ui->chkAuthenticationRequired),
                                    static_cast<QAbstractButton*>(ui->chkBlankPassword)})
        connect(button, &QAbstractButton::toggled, this, &frmMailCfg::UpdateEnabled);
    connect(ui->chkAuthenticationRequired, &QAbstractButton::clicked, this, [this](bool ticked) {
        if (!ticked)
            return;
        ui->txtUsername->setFocus();
        ui->txtUsername->setCursorPosition(ui->txtUsername->text().size());
    });
    connect(ui->cboSMTPEncryption, &QComboBox::activated, this, &frmMailCfg::EncryptionChosen);
    connect(ui->cboAuthenticationKind, &QComboBox::activated, this, &frmMailCfg::AuthenticationKindChosen);
    connect(ui->txtOAuthDeviceURL, &QLineEdit::textChanged, this, &frmMailCfg::UpdateEnabled);
    connect(ui->cmdSignIn, &QPushButton::clicked, this, [this] {
        if (m_signIn)
            SignInEnded(); // the button cancels while a sign-in runs
        else
            StartSignIn(false);
    });
    connect(ui->cmdSignInWithCode, &QPushButton::clicked, this, [this] { StartSignIn(true); });
    connect(ui->cmdSignOut, &QPushButton::clicked, this, [this] {
        m_newGrant.reset();
        m_signOut = true;
        ShowSignInState();
    });
    connect(ui->lstTrustedCertificates, &QListWidget::itemSelectionChanged, this,
            &frmMailCfg::UpdateEnabled);
    connect(ui->cmdForgetCertificate, &QPushButton::clicked, this,
            [this] { delete ui->lstTrustedCertificates->currentItem(); });
    connect(ui->cmdBrowseCAFile, &QPushButton::clicked, this, &frmMailCfg::BrowseCAFile);
    connect(ui->cmdOK, &QPushButton::clicked, this, &frmMailCfg::cmdOK_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    modForms::ApplyFonts(this);
    modForms::InstallHelpKey(this);
}

frmMailCfg::~frmMailCfg()
{
    delete m_signIn;
}

bool frmMailCfg::Edit(QWidget* owner)
{
    frmMailCfg dialog(owner);
    return dialog.exec() == QDialog::Accepted;
}

void frmMailCfg::LoadSettings()
{
    MailConfiguration settings;
    // The password may be in the keyring; the answer also tells whether
    // there is one.
    const SecretStore::Result password = settings.FetchPassword();
    m_noKeyring = password.outcome == SecretStore::Outcome::NoKeyring || !SecretStore::Available();
    ui->txtSMTPServer->setText(settings.SMTPServer());
    ui->txtSMTPConnectionTimeout->setText(QString::number(settings.SMTPConnectionTimeout()));
    // Kept in 16 bits; ports above 32767 come back as the same bits.
    ui->txtSMTPServerPort->setText(
        QString::number(static_cast<quint16>(settings.SMTPServerPort())));
    (settings.SendUsingMethod() == MailDeliverySettings::Pickup ? ui->optSendUsing1
                                                                : ui->optSendUsing2)
        ->setChecked(true);
    ui->chkAuthenticationRequired->setChecked(settings.SMPTAuthenticate() == 1);
    ui->txtUsername->setText(settings.SMTPUsername());
    ui->txtPassword->setText(settings.SMTPPassword());
    ui->cboAuthenticationKind->setCurrentIndex(
        settings.SMPTAuthenticate() == 2 ? KindOf(static_cast<OAuthProvider::Kind>(settings.SMTPOAuthProvider()))
                                          : PasswordKind);
    ui->txtOAuthTenant->setText(settings.SMTPOAuthTenant());
    ui->txtOAuthClientID->setText(settings.SMTPOAuthClientID());
    ui->txtOAuthClientSecret->setText(settings.SMTPOAuthClientSecret());
    const OAuthProvider provider = settings.Provider();
    ui->txtOAuthAuthorizeURL->setText(settings.SMTPOAuthAuthorizeURL());
    ui->txtOAuthTokenURL->setText(settings.SMTPOAuthTokenURL());
    ui->txtOAuthDeviceURL->setText(settings.SMTPOAuthDeviceURL());
    ui->txtOAuthScope->setText(provider.scope);
    m_loadedServer = settings.SMTPServer();
    m_loadedUser = settings.SMTPUsername();
    OAuthGrant grant;
    if (settings.SMPTAuthenticate() == 2 &&
        MailSecrets::ReadGrant(m_loadedServer, m_loadedUser, grant).outcome == SecretStore::Outcome::Done)
        m_signedInAs = grant.account.isEmpty() ? m_loadedUser : grant.account;
    // Port 465 always meant TLS from the first byte, also in files older
    // than the choice.
    const bool tls = settings.SMTPEncryption() == MailConfiguration::TlsFromStart ||
                     static_cast<quint16>(settings.SMTPServerPort()) == 465;
    ui->cboSMTPEncryption->setCurrentIndex(tls ? 1 : 0);
    ui->txtSMTPMaxConnections->setText(QString::number(settings.SMTPMaxConnections()));
    ui->txtSMTPCAFile->setText(settings.SMTPCAFile());
    for (const QString& line :
         settings.SMTPTrustedCertificates().split(u'\n', Qt::SkipEmptyParts)) {
        // The host and enough of the fingerprint to tell two apart; the
        // whole fingerprint in the tip.
        const QString host = line.section(u' ', 0, 0, QString::SectionSkipEmpty);
        const QString fingerprint = line.section(u' ', 1, 1, QString::SectionSkipEmpty);
        auto* item = new QListWidgetItem(fingerprint.size() > 16
                                             ? host + QStringLiteral("  ") + fingerprint.left(8) +
                                                   QChar(0x2026) + fingerprint.right(8)
                                             : line.trimmed(),
                                         ui->lstTrustedCertificates);
        item->setData(Qt::UserRole, line.trimmed());
        item->setToolTip(host + u'\n' + fingerprint);
    }
    ui->chkSMTPRetryTemporary->setChecked(settings.SMTPRetryTemporary());
    const auto limit = [](qint32 value) { return value > 0 ? QString::number(value) : QString(); };
    ui->txtSMTPMaxPerMinute->setText(limit(settings.SMTPMaxPerMinute()));
    ui->txtSMTPMaxPerDay->setText(limit(settings.SMTPMaxPerDay()));

    // A stored choice of the local system stays selected even without one.
    if (!SmtpSvc().Exists())
        ui->optSendUsing1->setEnabled(false);
}

void frmMailCfg::SetCaptions()
{
    setWindowTitle(LoadResString(300));
    const struct
    {
        QWidget* control;
        int textId;
    } captions[] = {{ui->lblOutgoingMailServer, 305},
                    {ui->optSendUsing1, 306},
                    {ui->optSendUsing2, 307},
                    {ui->lblSMTPServer, 308},
                    {ui->lblSMTPConnectionTimeout, 309},
                    {ui->chkAuthenticationRequired, 310},
                    {ui->lblUsername, 311},
                    {ui->lblPassword, 312},
                    {ui->chkBlankPassword, 313},
                    {ui->lblSMTPServerPort, 314},
                    {ui->cmdOK, 2},
                    {ui->cmdCancel, 4},
                    {ui->lblSMTPMaxConnections, 4210},
                    {ui->lblSMTPEncryption, 4211},
                    {ui->lblCertificates, 4224},
                    {ui->lblSMTPCAFile, 4214},
                    {ui->cmdBrowseCAFile, 4215},
                    {ui->lblTrustedCertificates, 4216},
                    {ui->cmdForgetCertificate, 4217},
                    {ui->lblSending, 4225},
                    {ui->chkSMTPRetryTemporary, 4218},
                    {ui->lblSMTPMaxPerMinute, 4219},
                    {ui->lblSMTPMaxPerDay, 4220},
                    {ui->lblAuthenticationKind, 5150},
                    {ui->lblOAuthTenant, 5155},
                    {ui->lblOAuthClientID, 5156},
                    {ui->lblOAuthClientSecret, 5157},
                    {ui->lblOAuthAuthorizeURL, 5158},
                    {ui->lblOAuthTokenURL, 5159},
                    {ui->lblOAuthDeviceURL, 5160},
                    {ui->lblOAuthScope, 5161},
                    {ui->cmdSignIn, 5162},
                    {ui->cmdSignInWithCode, 5163},
                    {ui->cmdSignOut, 5164},
                    {ui->lblKeyring, 5173}};
    for (const auto& caption : captions)
        caption.control->setProperty("text", LoadResString(caption.textId));
}

void frmMailCfg::UpdateEnabled()
{
    const bool remote = ui->optSendUsing2->isChecked();
    const bool login = remote && ui->chkAuthenticationRequired->isChecked();
    const bool password = login && !ui->chkBlankPassword->isChecked();
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui->txtSMTPServer, ui->lblSMTPServer, ui->lblSMTPConnectionTimeout,
             ui->txtSMTPConnectionTimeout, ui->chkAuthenticationRequired,
             // What only a network server uses.
             ui->lblSMTPEncryption, ui->cboSMTPEncryption, ui->lblSMTPMaxConnections,
             ui->txtSMTPMaxConnections, ui->lblCertificates, ui->lblSMTPCAFile, ui->txtSMTPCAFile,
             ui->cmdBrowseCAFile, ui->lblTrustedCertificates, ui->lstTrustedCertificates,
             ui->lblSending, ui->chkSMTPRetryTemporary, ui->lblSMTPMaxPerMinute,
             ui->txtSMTPMaxPerMinute, ui->lblSMTPMaxPerDay, ui->txtSMTPMaxPerDay})
        control->setEnabled(remote);
    for (QWidget* control :
         {static_cast<QWidget*>(ui->lblUsername), static_cast<QWidget*>(ui->txtUsername),
          static_cast<QWidget*>(ui->chkBlankPassword)})
        control->setEnabled(login);
    ui->lblPassword->setEnabled(password);
    ui->txtPassword->setEnabled(password);
    if (login && !password)
        ui->txtPassword->clear();
    ui->lblAuthenticationKind->setEnabled(login);
    ui->cboAuthenticationKind->setEnabled(login);

    // Only the rows of the chosen way of logging in show.
    const int kind = ui->cboAuthenticationKind->currentData().toInt();
    const bool provider = kind != PasswordKind;
    auto* rows = ui->layCredentials;
    rows->setRowVisible(ui->txtPassword, !provider);
    rows->setRowVisible(ui->chkBlankPassword, !provider);
    rows->setRowVisible(ui->txtOAuthTenant, kind == Microsoft365Kind);
    rows->setRowVisible(ui->txtOAuthClientID, provider);
    rows->setRowVisible(ui->txtOAuthClientSecret, kind == GoogleKind || kind == OtherKind);
    for (QLineEdit* endpoint : {ui->txtOAuthAuthorizeURL, ui->txtOAuthTokenURL, ui->txtOAuthDeviceURL})
        rows->setRowVisible(endpoint, kind == OtherKind);
    rows->setRowVisible(ui->txtOAuthScope, provider);
    rows->setRowVisible(ui->lblOAuthState, provider);
    rows->setRowVisible(ui->laySignIn, provider);
    for (QWidget* control : {static_cast<QWidget*>(ui->txtOAuthTenant), static_cast<QWidget*>(ui->txtOAuthClientID),
                             static_cast<QWidget*>(ui->txtOAuthClientSecret), static_cast<QWidget*>(ui->txtOAuthAuthorizeURL),
                             static_cast<QWidget*>(ui->txtOAuthTokenURL), static_cast<QWidget*>(ui->txtOAuthDeviceURL),
                             static_cast<QWidget*>(ui->txtOAuthScope)})
        control->setEnabled(login && !m_signIn);
    ui->cmdSignIn->setEnabled(login);
    ui->cmdSignInWithCode->setVisible(kind == Microsoft365Kind ||
                                      (kind == OtherKind && !ui->txtOAuthDeviceURL->text().trimmed().isEmpty()));
    ui->cmdSignInWithCode->setEnabled(login && !m_signIn);
    ui->cmdSignOut->setEnabled(login && !m_signIn && (m_newGrant || (!m_signedInAs.isEmpty() && !m_signOut)));
    ui->lblKeyring->setVisible(m_noKeyring && login);
    // Rows shown may need more room than the dialog has: it grows at once
    // (a window manager keeps the old size otherwise).
    layout()->activate();
    const QSize wanted = size().expandedTo(minimumSizeHint());
    if (isVisible() && wanted != size())
        resize(wanted);
    ui->cmdForgetCertificate->setEnabled(remote && ui->lstTrustedCertificates->currentItem() &&
                                         ui->lstTrustedCertificates->currentItem()->isSelected());
}

void frmMailCfg::EncryptionChosen()
{
    // Propose the port that goes with the choice, keeping one that fits.
    const QString port = ui->txtSMTPServerPort->text().trimmed();
    if (ui->cboSMTPEncryption->currentData().toInt() == MailConfiguration::TlsFromStart)
        ui->txtSMTPServerPort->setText(QStringLiteral("465"));
    else if (port != u"25" && port != u"587")
        ui->txtSMTPServerPort->setText(QStringLiteral("587"));
}

void frmMailCfg::AuthenticationKindChosen()
{
    // A provider's preset brings its server and the way it is reached.
    // Passing a preset on the way to another choice (the arrow keys do)
    // gives the server, port and encryption back as they were.
    const int kind = ui->cboAuthenticationKind->currentData().toInt();
    const QString presetServers[] = {QStringLiteral("smtp.office365.com"), QStringLiteral("smtp.gmail.com")};
    const QString server = ui->txtSMTPServer->text().trimmed();
    const bool presetShown = server == presetServers[0] || server == presetServers[1];
    if (kind == Microsoft365Kind || kind == GoogleKind) {
        if (!presetShown)
            m_beforePreset = {ui->txtSMTPServer->text(), ui->txtSMTPServerPort->text(),
                              ui->cboSMTPEncryption->currentIndex()};
        ui->txtSMTPServer->setText(presetServers[kind - Microsoft365Kind]);
        ui->txtSMTPServerPort->setText(QStringLiteral("587"));
        ui->cboSMTPEncryption->setCurrentIndex(ui->cboSMTPEncryption->findData(MailConfiguration::StartTls));
    } else if (presetShown && m_beforePreset) {
        ui->txtSMTPServer->setText(m_beforePreset->server);
        ui->txtSMTPServerPort->setText(m_beforePreset->port);
        ui->cboSMTPEncryption->setCurrentIndex(m_beforePreset->encryption);
    }
    if (kind != PasswordKind)
        ui->txtOAuthScope->setText(
            OAuthProvider::Preset(static_cast<OAuthProvider::Kind>(kind - Microsoft365Kind)).scope);
    UpdateEnabled();
    ShowSignInState();
}

OAuthProvider frmMailCfg::ProviderFromFields() const
{
    OAuthProvider entered;
    entered.kind = static_cast<OAuthProvider::Kind>(ui->cboAuthenticationKind->currentData().toInt() -
                                                    Microsoft365Kind);
    entered.authorizeUrl = ui->txtOAuthAuthorizeURL->text().trimmed();
    entered.tokenUrl = ui->txtOAuthTokenURL->text().trimmed();
    entered.deviceUrl = ui->txtOAuthDeviceURL->text().trimmed();
    entered.scope = ui->txtOAuthScope->text().simplified();
    entered.clientId = ui->txtOAuthClientID->text().trimmed();
    // Microsoft hands desktop clients no secret.
    if (entered.kind != OAuthProvider::Microsoft365)
        entered.clientSecret = ui->txtOAuthClientSecret->text().trimmed();
    return OAuthProvider::Completed(entered, ui->txtOAuthTenant->text().trimmed());
}

bool frmMailCfg::ValidateProvider()
{
    if (ui->txtOAuthClientID->text().trimmed().isEmpty()) {
        Refuse(ui->txtOAuthClientID, 5170);
        return false;
    }
    if (ui->cboAuthenticationKind->currentData().toInt() != OtherKind)
        return true;
    for (QLineEdit* box : {ui->txtOAuthAuthorizeURL, ui->txtOAuthTokenURL, ui->txtOAuthDeviceURL}) {
        const bool optional = box == ui->txtOAuthDeviceURL && box->text().trimmed().isEmpty();
        if (!optional && !IsEndpoint(box->text())) {
            Refuse(box, 5171);
            return false;
        }
    }
    return true;
}

void frmMailCfg::StartSignIn(bool withCode)
{
    if (!ValidateProvider())
        return;
    m_signIn = new OAuthSignIn;
    connect(m_signIn, &OAuthSignIn::DeviceCode, this, [this](const QString& code, const QUrl& address) {
        ui->lblOAuthState->setText(Texts::Filled(5168, {{"#ADDRESS#", address.toString()}, {"#CODE#", code}}));
    });
    connect(m_signIn, &OAuthSignIn::AddressOpened, this, [this](const QUrl& address, bool opened) {
        // The address is far too long to show; the clipboard carries it whole.
        if (!opened) {
            QGuiApplication::clipboard()->setText(address.toString(QUrl::FullyEncoded));
            ui->lblOAuthState->setText(LoadResString(5174));
        }
    });
    connect(m_signIn, &OAuthSignIn::Granted, this, [this](const OAuthGrant& grant) {
        m_newGrant = grant;
        m_signOut = false;
        // The mailbox is whom the provider signed in, unless the user said.
        if (ui->txtUsername->text().trimmed().isEmpty() && !grant.account.isEmpty())
            ui->txtUsername->setText(grant.account);
        SignInEnded();
    });
    connect(m_signIn, &OAuthSignIn::Failed, this, [this](const QString& reason) {
        SignInEnded();
        const QString text = LoadResString(5172);
        m_balloon->ShowBalloonTip(ui->cmdSignIn, Texts::BalloonTitle(text),
                                  Texts::BalloonBody(text).replace(QLatin1String("#REASON#"), reason),
                                  ctlBalloonTip::IconInfo);
    });
    ui->lblOAuthState->setText(LoadResString(5167));
    ui->cmdSignIn->setText(LoadResString(5169));
    const OAuthProvider provider = ProviderFromFields();
    if (withCode)
        m_signIn->StartDevice(provider);
    else
        m_signIn->Start(provider);
    UpdateEnabled();
}

void frmMailCfg::SignInEnded()
{
    // Called from the sign-in's own signals: it goes once they return.
    if (m_signIn) {
        m_signIn->Cancel();
        m_signIn->deleteLater();
        m_signIn = nullptr;
    }
    ui->cmdSignIn->setText(LoadResString(5162));
    ShowSignInState();
    UpdateEnabled();
}

void frmMailCfg::ShowSignInState()
{
    if (m_signIn)
        return;
    QString text;
    if (m_newGrant)
        text = Texts::Filled(5166, {{"#ACCOUNT#", m_newGrant->account.isEmpty() ? ui->txtUsername->text().trimmed()
                                                                                : m_newGrant->account}});
    else if (!m_signedInAs.isEmpty())
        text = Texts::Filled(m_signOut ? 5176 : 5166, {{"#ACCOUNT#", m_signedInAs}});
    else
        text = LoadResString(5165);
    ui->lblOAuthState->setText(text);
}

void frmMailCfg::BrowseCAFile()
{
    const QString chosen = Dialogs::OpenFileName(
        this, LoadResString(4221), QFileInfo(ui->txtSMTPCAFile->text()).absolutePath(),
        LoadResString(4222));
    if (!chosen.isEmpty())
        ui->txtSMTPCAFile->setText(chosen);
}

void frmMailCfg::Refuse(QWidget* target, int textId)
{
    const QString text = LoadResString(textId);
    target->setFocus();
    m_balloon->ShowBalloonTip(target, Texts::BalloonTitle(text), Texts::BalloonBody(text),
                              ctlBalloonTip::IconInfo);
}

bool frmMailCfg::RefuseNumber(QLineEdit* box, int noDigitText, int badNumberText, int lowest,
                              int highest)
{
    if (!HasDigit(box->text().trimmed())) {
        Refuse(box, noDigitText);
        return true;
    }
    const Whole number = ToWhole(box->text(), lowest, highest);
    if (!number.error.isEmpty()) {
        Refuse(box, badNumberText);
        return true;
    }
    box->setText(QString::number(number.value));
    return false;
}

bool frmMailCfg::Validate()
{
    constexpr int min16 = std::numeric_limits<qint16>::min();
    constexpr int max16 = std::numeric_limits<qint16>::max();
    if (ui->txtSMTPServer->text().trimmed().isEmpty()) {
        Refuse(ui->txtSMTPServer, 301);
        return false;
    }
    if (RefuseNumber(ui->txtSMTPConnectionTimeout, 302, 303, min16, max16) ||
        RefuseNumber(ui->txtSMTPServerPort, 315, 316, 1, std::numeric_limits<quint16>::max()))
        return false;
    if (ui->txtPassword->text().isEmpty())
        ui->chkBlankPassword->setChecked(true);
    if (ui->chkAuthenticationRequired->isChecked() && ui->txtUsername->text().isEmpty()) {
        Refuse(ui->txtUsername, 304);
        return false;
    }
    if (ui->chkAuthenticationRequired->isChecked() &&
        ui->cboAuthenticationKind->currentData().toInt() != PasswordKind && !ValidateProvider())
        return false;
    if (RefuseNumber(ui->txtSMTPMaxConnections, 4200, 4201, 1, 10))
        return false;
    const QString caFile = ui->txtSMTPCAFile->text().trimmed();
    if (!caFile.isEmpty()) {
        if (!QFileInfo(caFile).isFile()) {
            Refuse(ui->txtSMTPCAFile, 4202);
            return false;
        }
        if (QSslCertificate::fromPath(caFile, QSsl::Pem).isEmpty()) {
            Refuse(ui->txtSMTPCAFile, 4203);
            return false;
        }
    }
    for (QLineEdit* box : {ui->txtSMTPMaxPerMinute, ui->txtSMTPMaxPerDay})
        if (!ToLimit(box->text()).error.isEmpty()) {
            Refuse(box, 4204);
            return false;
        }
    return true;
}

void frmMailCfg::cmdOK_Click()
{
    // The local system needs none of the network server's values checked.
    if (ui->optSendUsing2->isChecked() && !Validate())
        return;
    if (Save())
        accept();
}

bool frmMailCfg::Save()
{
    const auto failed = [this](const QString& why) {
        m_balloon->ShowBalloonTip(ui->cmdOK, LoadResString(5), why, ctlBalloonTip::IconInfo);
        return false;
    };
    const Whole timeout = ToInt16(ui->txtSMTPConnectionTimeout->text());
    // Every TCP port, in the 16 bits the file keeps.
    const Whole port =
        ToWhole(ui->txtSMTPServerPort->text(), 0, std::numeric_limits<quint16>::max());
    const Whole connections = ToInt16(ui->txtSMTPMaxConnections->text());
    const Whole perMinute = ToLimit(ui->txtSMTPMaxPerMinute->text());
    const Whole perDay = ToLimit(ui->txtSMTPMaxPerDay->text());
    for (const Whole* number : {&timeout, &port, &connections, &perMinute, &perDay})
        if (!number->error.isEmpty())
            return failed(number->error);

    MailConfiguration settings;
    settings.SetSendUsingMethod(ui->optSendUsing1->isChecked() ? MailDeliverySettings::Pickup
                                                               : MailDeliverySettings::Port);
    settings.SetSMTPServer(ui->txtSMTPServer->text());
    settings.SetSMTPConnectionTimeout(static_cast<qint16>(timeout.value));
    settings.SetSMTPServerPort(static_cast<qint16>(static_cast<quint16>(port.value)));
    const bool login = ui->chkAuthenticationRequired->isChecked();
    const bool signIn = login && ui->cboAuthenticationKind->currentData().toInt() != PasswordKind;
    settings.SetSMPTAuthenticate(signIn ? 2 : login ? 1 : 0);
    settings.SetSMTPUsername(ui->txtUsername->text());
    settings.SetSMTPPassword(signIn ? QString() : ui->txtPassword->text());
    if (signIn) {
        const OAuthProvider provider = ProviderFromFields();
        settings.SetSMTPOAuthProvider(provider.kind);
        settings.SetSMTPOAuthTenant(ui->txtOAuthTenant->text().trimmed());
        settings.SetSMTPOAuthClientID(provider.clientId);
        settings.SetSMTPOAuthClientSecret(provider.clientSecret);
        settings.SetSMTPOAuthAuthorizeURL(ui->txtOAuthAuthorizeURL->text().trimmed());
        settings.SetSMTPOAuthTokenURL(ui->txtOAuthTokenURL->text().trimmed());
        settings.SetSMTPOAuthDeviceURL(ui->txtOAuthDeviceURL->text().trimmed());
        // The preset's scope is kept as "the preset's", so a changed preset reaches old files.
        const QString preset = OAuthProvider::Preset(provider.kind).scope;
        settings.SetSMTPOAuthScope(provider.scope == preset ? QString() : provider.scope);
    }
    settings.SetSMTPMaxConnections(static_cast<qint16>(connections.value));
    settings.SetSMTPEncryption(ui->cboSMTPEncryption->currentData().toInt());
    settings.SetSMTPCAFile(ui->txtSMTPCAFile->text().trimmed());
    QStringList trusted;
    for (int i = 0; i < ui->lstTrustedCertificates->count(); ++i)
        trusted << ui->lstTrustedCertificates->item(i)->data(Qt::UserRole).toString();
    settings.SetSMTPTrustedCertificates(trusted.join(u'\n'));
    settings.SetSMTPRetryTemporary(ui->chkSMTPRetryTemporary->isChecked());
    settings.SetSMTPMaxPerMinute(static_cast<qint32>(perMinute.value));
    settings.SetSMTPMaxPerDay(static_cast<qint32>(perDay.value));
    try {
        settings.Save();
    } catch (const AppError& error) {
        // The dialog stays open with everything entered.
        return failed(error.Description());
    }
    // A sign-in belongs to the server and user it was saved with.
    const QString server = settings.SMTPServer();
    const QString user = settings.SMTPUsername();
    const bool moved = server.compare(m_loadedServer, Qt::CaseInsensitive) != 0 || user != m_loadedUser;
    if (m_signOut || !signIn || moved)
        MailSecrets::ForgetGrant(m_loadedServer, m_loadedUser);
    if (signIn && m_newGrant)
        MailSecrets::StoreGrant(server, user, *m_newGrant);
    return true;
}
