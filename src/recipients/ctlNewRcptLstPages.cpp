#include "recipients/ctlNewRcptLstPages.h"

#include "base/AppError.h"
#include "base/Texts.h"
#include "controls/Dialogs.h"
#include "controls/RecordsetTableModel.h"
#include "controls/WaitCursor.h"
#include "recipients/RecipientImport.h"
#include "recipients/RecipientList.h"
#include "recipients/SourceCatalog.h"
#include "recipients/frmDataLink.h"
#include "ui_ctlNewRcpLstName.h"
#include "ui_ctlNewRcptLstAccess.h"
#include "ui_ctlNewRcptLstAdvanced.h"
#include "ui_ctlNewRcptLstCatalog.h"
#include "ui_ctlNewRcptLstExcel.h"
#include "ui_ctlNewRcptLstExcelFirstRow.h"
#include "ui_ctlNewRcptLstFinish.h"
#include "ui_ctlNewRcptLstOutlookCatalog.h"
#include "ui_ctlNewRcptLstOutlookProfile.h"
#include "ui_ctlNewRcptLstSQL.h"
#include "ui_ctlNewRcptLstSourceType.h"
#include "ui_ctlNewRcptLstXml.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QStandardPaths>
#include <QUrl>
#include <optional>

namespace {

// Pixels of the first-row preview's columns (1500 twips).
constexpr int kPreviewColumnWidth = 100;

QString TextOf(const QLineEdit* box, bool trim)
{
    return trim ? box->text().trimmed() : box->text();
}

// An absolute path of something that exists, with one of the endings.
bool IsFilePath(const QString& path, const QStringList& endings)
{
    if (!QDir::isAbsolutePath(path) || !QFileInfo::exists(path))
        return false;
    for (const QString& ending : endings)
        if (path.endsWith(ending, Qt::CaseInsensitive))
            return true;
    return false;
}

QString Browse(QWidget* page, int titleId, int filterId, const QString& patterns,
               const QString& current)
{
    const QString directory =
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QLatin1Char('/');
    const QString chosen =
        Dialogs::OpenFileName(page, LoadResString(titleId), directory,
                              LoadResString(filterId) + QStringLiteral(" (") + patterns + u')');
    // Cancelled: what was typed stays.
    return chosen.isEmpty() ? current : chosen;
}

// Runs a listing, keeping its error to raise once the page is filled.
void Keep(std::optional<AppError>& kept, const std::function<void()>& listing)
{
    try {
        listing();
    } catch (const AppError& error) {
        if (!kept)
            kept = error;
    }
}

void RaiseKept(const std::optional<AppError>& kept)
{
    if (kept)
        throw *kept;
}

} // namespace

void ctlNewRcptLstPage::Refuse(long number, int textId)
{
    throw AppError(number, QStringLiteral("frmNewRcptLst"), LoadResString(textId));
}

AuthenticationFields::AuthenticationFields(QCheckBox* required, QLabel* userLabel, QLineEdit* user,
                                           QLabel* passwordLabel, QLineEdit* password,
                                           QCheckBox* blank, bool trim)
    : m_required(required), m_userLabel(userLabel), m_user(user), m_passwordLabel(passwordLabel),
      m_password(password), m_blank(blank), m_trim(trim)
{
    QObject::connect(m_required, &QCheckBox::clicked, [this] { Update(); });
    QObject::connect(m_blank, &QCheckBox::clicked, [this] {
        if (m_blank->isChecked())
            m_password->clear();
        Update();
    });
}

void AuthenticationFields::Set(const RecipientList& list)
{
    m_required->setChecked(list.AuthenticationRequired());
    m_user->setText(list.Username());
    m_password->setText(list.Password());
    m_blank->setChecked(m_password->text().isEmpty());
    Update();
}

void AuthenticationFields::Get(RecipientList& list) const
{
    const bool required = m_required->isChecked();
    list.SetAuthenticationRequired(required);
    list.SetUsername(required ? TextOf(m_user, m_trim) : QString());
    list.SetPassword(required && !m_blank->isChecked() ? TextOf(m_password, m_trim) : QString());
}

void AuthenticationFields::Update()
{
    const bool required = m_required->isChecked();
    if (!required)
        m_user->clear();
    m_user->setEnabled(required);
    m_userLabel->setEnabled(required);
    m_blank->setEnabled(required);
    const bool password = required && !m_blank->isChecked();
    m_password->setEnabled(password);
    m_passwordLabel->setEnabled(password);
}

// --- Name ---------------------------------------------------------------

ctlNewRcpLstName::ctlNewRcpLstName(QWidget* parent)
    : ctlNewRcptLstPage(parent), ui(std::make_unique<Ui::ctlNewRcpLstName>())
{
    ui->setupUi(this);
    ui->lblHeader->setText(LoadResString(1301));
    ui->lblRcptLstName->setText(LoadResString(1302));
    ui->lblRcptLstName->setBuddy(ui->txtName);
}

ctlNewRcpLstName::~ctlNewRcpLstName() = default;

void ctlNewRcpLstName::SetControlValues(RecipientList& list)
{
    ui->txtName->setText(list.ListName());
}

void ctlNewRcpLstName::GetControlValues(RecipientList& list)
{
    list.SetListName(ui->txtName->text().trimmed());
}

void ctlNewRcpLstName::Validate(RecipientList& list)
{
    if (list.ListName().isEmpty())
        Refuse(ErrField, 1303);
}

QWidget* ctlNewRcpLstName::Anchor(long)
{
    return ui->txtName;
}

// --- Source type --------------------------------------------------------

ctlNewRcptLstSourceType::ctlNewRcptLstSourceType(QWidget* parent)
    : ctlNewRcptLstPage(parent), ui(std::make_unique<Ui::ctlNewRcptLstSourceType>())
{
    ui->setupUi(this);
    ui->lblHeader->setText(LoadResString(2201));
    const QList<QRadioButton*> buttons = Buttons();
    for (int i = 0; i < buttons.size(); ++i)
        buttons[i]->setText(LoadResString(2202 + i));
}

ctlNewRcptLstSourceType::~ctlNewRcptLstSourceType() = default;

QList<QRadioButton*> ctlNewRcptLstSourceType::Buttons() const
{
    return {ui->optSourceType0, ui->optSourceType1, ui->optSourceType2,
            ui->optSourceType3, ui->optSourceType4, ui->optSourceType5};
}

void ctlNewRcptLstSourceType::SetControlValues(RecipientList& list)
{
    const QList<QRadioButton*> buttons = Buttons();
    for (int i = 0; i < buttons.size(); ++i) {
        // Auto-exclusive buttons cannot all be cleared otherwise.
        buttons[i]->setAutoExclusive(false);
        buttons[i]->setChecked(i == list.DataType());
        buttons[i]->setAutoExclusive(true);
    }
}

void ctlNewRcptLstSourceType::GetControlValues(RecipientList& list)
{
    const QList<QRadioButton*> buttons = Buttons();
    qint32 type = RecipientList::NoSource;
    for (int i = 0; i < buttons.size(); ++i)
        if (buttons[i]->isChecked())
            type = i;
    list.SetDataType(type);
}

void ctlNewRcptLstSourceType::Validate(RecipientList& list)
{
    if (list.DataType() == RecipientList::NoSource)
        Refuse(ErrField, 2208);
}

QWidget* ctlNewRcptLstSourceType::Anchor(long)
{
    return ui->optSourceType0;
}

// --- SQL Server ---------------------------------------------------------

ctlNewRcptLstSQL::ctlNewRcptLstSQL(QWidget* parent)
    : ctlNewRcptLstPage(parent), ui(std::make_unique<Ui::ctlNewRcptLstSQL>())
{
    ui->setupUi(this);
    ui->lblHeader->setText(LoadResString(2301));
    ui->lblServerName->setText(LoadResString(2302));
    ui->optSecurity0->setText(LoadResString(2303));
    ui->optSecurity1->setText(LoadResString(2304));
    ui->lblUsername->setText(LoadResString(2305));
    ui->lblPassword->setText(LoadResString(2306));
    ui->chkBlankPassword->setText(LoadResString(2307));
    ui->lblDatabases->setText(LoadResString(2308));
    ui->lblServerName->setBuddy(ui->txtServerName);
    ui->lblUsername->setBuddy(ui->txtUsername);
    ui->lblPassword->setBuddy(ui->txtPassword);
    ui->lblDatabases->setBuddy(ui->cboDatabases);
    connect(ui->optSecurity0, &QRadioButton::clicked, this, &ctlNewRcptLstSQL::UpdateEnabled);
    connect(ui->optSecurity1, &QRadioButton::clicked, this, &ctlNewRcptLstSQL::UpdateEnabled);
    connect(ui->chkBlankPassword, &QCheckBox::clicked, this, [this] {
        if (ui->chkBlankPassword->isChecked())
            ui->txtPassword->clear();
        UpdateEnabled();
    });
    connect(ui->cboDatabases, &ctlDatabaseComboBox::DropDown, this, [this] {
        RecipientList server;
        server.SetDataType(RecipientList::SQLServer);
        GetControlValues(server);
        Try([&] { FillDatabases(server); });
    });
}

ctlNewRcptLstSQL::~ctlNewRcptLstSQL() = default;

void ctlNewRcptLstSQL::UpdateEnabled()
{
    const bool own = ui->optSecurity1->isChecked();
    ui->txtUsername->setEnabled(own);
    ui->lblUsername->setEnabled(own);
    ui->chkBlankPassword->setEnabled(own);
    const bool password = own && !ui->chkBlankPassword->isChecked();
    ui->txtPassword->setEnabled(password);
    ui->lblPassword->setEnabled(password);
}

void ctlNewRcptLstSQL::FillDatabases(const RecipientList& list)
{
    WaitCursor wait;
    wait.SetPointer(WaitCursor::Hourglass);
    const QString typed = ui->cboDatabases->currentText();
    const QStringList databases = SourceCatalog::ListDatabases(list);
    ui->cboDatabases->clear();
    ui->cboDatabases->addItems(databases);
    ui->cboDatabases->setCurrentText(typed);
}

void ctlNewRcptLstSQL::SetControlValues(RecipientList& list)
{
    ui->txtServerName->setText(list.SQLServerName());
    ui->optSecurity0->setChecked(list.SQLUseWindowsSecurity());
    ui->optSecurity1->setChecked(!list.SQLUseWindowsSecurity());
    ui->txtUsername->setText(list.Username());
    ui->txtPassword->setText(list.Password());
    ui->chkBlankPassword->setChecked(list.Password().isEmpty());
    UpdateEnabled();
    ui->cboDatabases->clear();
    if (!list.SQLDataBase().isEmpty())
        FillDatabases(list); // errors are swallowed by the listing
    ui->cboDatabases->setCurrentText(list.SQLDataBase());
}

void ctlNewRcptLstSQL::GetControlValues(RecipientList& list)
{
    list.SetSQLServerName(ui->txtServerName->text().trimmed());
    const bool windows = ui->optSecurity0->isChecked();
    list.SetSQLUseWindowsSecurity(windows);
    list.SetUsername(windows ? QString() : ui->txtUsername->text().trimmed());
    list.SetPassword(windows || ui->chkBlankPassword->isChecked()
                         ? QString()
                         : ui->txtPassword->text().trimmed());
    list.SetSQLDataBase(ui->cboDatabases->currentText().trimmed());
}

void ctlNewRcptLstSQL::Validate(RecipientList& list)
{
    if (!list.SQLUseWindowsSecurity() && list.Username().isEmpty())
        Refuse(ErrField, 2309);
    if (list.SQLDataBase().isEmpty())
        Refuse(ErrSecondField, 2310);
    RecipientImport::TestConnection(list);
}

QWidget* ctlNewRcptLstSQL::Anchor(long number)
{
    return number == ErrField ? static_cast<QWidget*>(ui->txtUsername) : ui->cboDatabases;
}

// --- Access -------------------------------------------------------------

ctlNewRcptLstAccess::ctlNewRcptLstAccess(QWidget* parent)
    : ctlNewRcptLstPage(parent), ui(std::make_unique<Ui::ctlNewRcptLstAccess>())
{
    ui->setupUi(this);
    ui->lblHeader->setText(LoadResString(1401));
    ui->lblPath->setText(LoadResString(1402));
    ui->cmdBrowse->setText(LoadResString(1403));
    ui->chkAuthenticationRequired->setText(LoadResString(1404));
    ui->lblUsername->setText(LoadResString(1405));
    ui->lblPassword->setText(LoadResString(1406));
    ui->chkBlankPassword->setText(LoadResString(1407));
    ui->lblPath->setBuddy(ui->txtPath);
    ui->lblUsername->setBuddy(ui->txtUsername);
    ui->lblPassword->setBuddy(ui->txtPassword);
    m_auth = std::make_unique<AuthenticationFields>(ui->chkAuthenticationRequired, ui->lblUsername,
                                                    ui->txtUsername, ui->lblPassword,
                                                    ui->txtPassword, ui->chkBlankPassword, true);
    connect(ui->cmdBrowse, &QPushButton::clicked, this, [this] {
        ui->txtPath->setText(
            Browse(this, 1408, 1411, QStringLiteral("*.mdb *.accdb"), ui->txtPath->text()));
    });
}

ctlNewRcptLstAccess::~ctlNewRcptLstAccess() = default;

void ctlNewRcptLstAccess::SetControlValues(RecipientList& list)
{
    ui->txtPath->setText(list.AccessFileName());
    m_auth->Set(list);
}

void ctlNewRcptLstAccess::GetControlValues(RecipientList& list)
{
    list.SetAccessFileName(ui->txtPath->text().trimmed());
    m_auth->Get(list);
}

void ctlNewRcptLstAccess::Validate(RecipientList& list)
{
    if (!IsFilePath(list.AccessFileName(), {QStringLiteral(".mdb"), QStringLiteral(".accdb")}))
        Refuse(ErrField, 1409);
    if (list.AuthenticationRequired() && list.Username().isEmpty())
        Refuse(ErrSecondField, 1410);
    RecipientImport::TestConnection(list);
}

QWidget* ctlNewRcptLstAccess::Anchor(long number)
{
    return number == ErrField ? ui->txtPath : m_auth->User();
}

// --- XML ----------------------------------------------------------------

ctlNewRcptLstXml::ctlNewRcptLstXml(QWidget* parent)
    : ctlNewRcptLstPage(parent), ui(std::make_unique<Ui::ctlNewRcptLstXml>())
{
    ui->setupUi(this);
    ui->lblHeader->setText(LoadResString(2401));
    ui->lblUrlUri->setText(LoadResString(2402));
    ui->chkAuthenticationRequired->setText(LoadResString(2403));
    ui->lblUsername->setText(LoadResString(2404));
    ui->lblPassword->setText(LoadResString(2405));
    ui->chkBlankPassword->setText(LoadResString(2406));
    ui->lblUrlUri->setBuddy(ui->txtUrlUri);
    ui->lblUsername->setBuddy(ui->txtUsername);
    ui->lblPassword->setBuddy(ui->txtPassword);
    m_auth = std::make_unique<AuthenticationFields>(ui->chkAuthenticationRequired, ui->lblUsername,
                                                    ui->txtUsername, ui->lblPassword,
                                                    ui->txtPassword, ui->chkBlankPassword, false);
}

ctlNewRcptLstXml::~ctlNewRcptLstXml() = default;

bool ctlNewRcptLstXml::IsValidAddress(const QString& address)
{
    const QString lower = address.toLower();
    if (lower.startsWith(u"http:") || lower.startsWith(u"https:"))
        return true;
    if (lower.startsWith(u"file:"))
        return QFileInfo::exists(QUrl(address).toLocalFile());
    return QDir::isAbsolutePath(address) && QFileInfo::exists(address);
}

void ctlNewRcptLstXml::SetControlValues(RecipientList& list)
{
    ui->txtUrlUri->setText(list.XMLUrlUri());
    m_auth->Set(list);
}

void ctlNewRcptLstXml::GetControlValues(RecipientList& list)
{
    list.SetXMLUrlUri(ui->txtUrlUri->text());
    m_auth->Get(list);
}

void ctlNewRcptLstXml::Validate(RecipientList& list)
{
    if (!IsValidAddress(list.XMLUrlUri()))
        Refuse(ErrField, 2407);
    if (list.AuthenticationRequired() && list.Username().isEmpty())
        Refuse(ErrSecondField, 2408);
    RecipientImport::GetRecordset(list);
}

QWidget* ctlNewRcptLstXml::Anchor(long number)
{
    return number == ErrField ? ui->txtUrlUri : m_auth->User();
}

// --- Excel --------------------------------------------------------------

ctlNewRcptLstExcel::ctlNewRcptLstExcel(QWidget* parent)
    : ctlNewRcptLstPage(parent), ui(std::make_unique<Ui::ctlNewRcptLstExcel>())
{
    ui->setupUi(this);
    ui->lblHeader->setText(LoadResString(1701));
    ui->lblFilename->setText(LoadResString(1702));
    ui->cmdBrowse->setText(LoadResString(1703));
    ui->chkAuthenticationRequired->setText(LoadResString(1704));
    ui->lblUsername->setText(LoadResString(1705));
    ui->lblPassword->setText(LoadResString(1706));
    ui->chkBlankPassword->setText(LoadResString(1707));
    ui->lblFilename->setBuddy(ui->txtFilename);
    ui->lblUsername->setBuddy(ui->txtUsername);
    ui->lblPassword->setBuddy(ui->txtPassword);
    m_auth = std::make_unique<AuthenticationFields>(ui->chkAuthenticationRequired, ui->lblUsername,
                                                    ui->txtUsername, ui->lblPassword,
                                                    ui->txtPassword, ui->chkBlankPassword, false);
    connect(ui->cmdBrowse, &QPushButton::clicked, this, [this] {
        ui->txtFilename->setText(Browse(this, 1708, 1711,
                                        QStringLiteral("*.xls *.xlsx *.csv *.tsv *.txt"),
                                        ui->txtFilename->text()));
    });
}

ctlNewRcptLstExcel::~ctlNewRcptLstExcel() = default;

void ctlNewRcptLstExcel::SetControlValues(RecipientList& list)
{
    ui->txtFilename->setText(list.ExcelFilename());
    m_auth->Set(list);
}

void ctlNewRcptLstExcel::GetControlValues(RecipientList& list)
{
    list.SetExcelFilename(ui->txtFilename->text());
    m_auth->Get(list);
}

void ctlNewRcptLstExcel::Validate(RecipientList& list)
{
    if (!IsFilePath(list.ExcelFilename(),
                    {QStringLiteral(".xls"), QStringLiteral(".xlsx"), QStringLiteral(".csv"),
                     QStringLiteral(".tsv"), QStringLiteral(".txt")}))
        Refuse(ErrField, 1709);
    if (list.AuthenticationRequired() && list.Username().isEmpty())
        Refuse(ErrSecondField, 1710);
    RecipientImport::TestConnection(list);
}

QWidget* ctlNewRcptLstExcel::Anchor(long number)
{
    return number == ErrField ? ui->txtFilename : m_auth->User();
}

// --- Advanced -----------------------------------------------------------

ctlNewRcptLstAdvanced::ctlNewRcptLstAdvanced(QWidget* parent)
    : ctlNewRcptLstPage(parent), ui(std::make_unique<Ui::ctlNewRcptLstAdvanced>())
{
    ui->setupUi(this);
    ui->lblHeader->setText(LoadResString(1501));
    ui->lblConnectionString->setText(LoadResString(1502));
    ui->cmdConnectionString->setText(LoadResString(1503));
    ui->lblConnectionString->setBuddy(ui->txtConnectionString);
    connect(ui->cmdConnectionString, &QPushButton::clicked, this, [this] {
        QString connectionString = ui->txtConnectionString->text();
        if (frmDataLink::Edit(window(), connectionString))
            ui->txtConnectionString->setText(connectionString);
    });
}

ctlNewRcptLstAdvanced::~ctlNewRcptLstAdvanced() = default;

void ctlNewRcptLstAdvanced::SetControlValues(RecipientList& list)
{
    ui->txtConnectionString->setText(list.AdvancedConnectionString());
}

void ctlNewRcptLstAdvanced::GetControlValues(RecipientList& list)
{
    list.SetAdvancedConnectionString(ui->txtConnectionString->text().trimmed());
}

void ctlNewRcptLstAdvanced::Validate(RecipientList& list)
{
    if (list.AdvancedConnectionString().isEmpty())
        Refuse(ErrField, 1504);
    RecipientImport::TestConnection(list);
}

QWidget* ctlNewRcptLstAdvanced::Anchor(long)
{
    return ui->txtConnectionString;
}

// --- Catalog ------------------------------------------------------------

ctlNewRcptLstCatalog::ctlNewRcptLstCatalog(QWidget* parent)
    : ctlNewRcptLstPage(parent), ui(std::make_unique<Ui::ctlNewRcptLstCatalog>())
{
    ui->setupUi(this);
    ui->lblHeader->setText(LoadResString(1601));
    ui->optCommandType0->setText(LoadResString(1602));
    ui->optCommandType1->setText(LoadResString(1603));
    connect(ui->optCommandType0, &QRadioButton::toggled, this,
            &ctlNewRcptLstCatalog::UpdateEnabled);
    // Focus by keyboard makes an entry current without choosing it; what
    // looks chosen is chosen.
    connect(ui->lstCatalogs, &QListWidget::currentItemChanged, this, [](QListWidgetItem* item) {
        if (item)
            item->setSelected(true);
    });
}

ctlNewRcptLstCatalog::~ctlNewRcptLstCatalog() = default;

void ctlNewRcptLstCatalog::UpdateEnabled()
{
    const bool fromList = ui->optCommandType0->isChecked();
    ui->lstCatalogs->setEnabled(fromList);
    ui->txtCommandText->setEnabled(!fromList);
}

void ctlNewRcptLstCatalog::SetControlValues(RecipientList& list)
{
    m_dataType = list.DataType();
    ui->optCommandType0->setText(LoadResString(m_dataType == RecipientList::Excel ? 1607 : 1608));
    ui->optCommandType0->setChecked(true);
    UpdateEnabled();
    ui->lstCatalogs->clear();
    std::optional<AppError> failed;
    Keep(failed, [&] {
        WaitCursor wait;
        wait.SetPointer(WaitCursor::Hourglass);
        ui->lstCatalogs->addItems(SourceCatalog::ListTables(list));
    });
    ui->txtCommandText->clear();
    if (list.CatalogCommandType() == RecipientList::CmdText) {
        ui->optCommandType1->setChecked(true);
        ui->txtCommandText->setText(list.CatalogCommandText());
    } else if (list.CatalogCommandType() == RecipientList::CmdTable) {
        const auto found = ui->lstCatalogs->findItems(list.CatalogTableOrView(), Qt::MatchExactly);
        if (!found.isEmpty())
            ui->lstCatalogs->setCurrentItem(found.first());
    }
    RaiseKept(failed);
}

void ctlNewRcptLstCatalog::GetControlValues(RecipientList& list)
{
    if (ui->optCommandType0->isChecked()) {
        const QListWidgetItem* chosen = ui->lstCatalogs->currentItem();
        list.SetCatalogCommandType(RecipientList::CmdTable);
        list.SetCatalogTableOrView(chosen && chosen->isSelected() ? chosen->text() : QString());
        list.SetCatalogCommandText(QString());
    } else {
        list.SetCatalogCommandType(RecipientList::CmdText);
        list.SetCatalogCommandText(ui->txtCommandText->text());
        list.SetCatalogTableOrView(QString());
    }
}

void ctlNewRcptLstCatalog::Validate(RecipientList& list)
{
    if (list.CatalogCommandType() == RecipientList::CmdText && list.CatalogCommandText().isEmpty())
        Refuse(ErrSecondField, 1606);
    if (list.CatalogCommandType() == RecipientList::CmdTable && list.CatalogTableOrView().isEmpty())
        Refuse(ErrField, m_dataType == RecipientList::Excel ? 1604 : 1605);
    RecipientImport::GetRecordset(list);
}

QWidget* ctlNewRcptLstCatalog::Anchor(long number)
{
    return number == ErrField ? static_cast<QWidget*>(ui->lstCatalogs) : ui->txtCommandText;
}

// --- Finish -------------------------------------------------------------

ctlNewRcptLstFinish::ctlNewRcptLstFinish(QWidget* parent)
    : ctlNewRcptLstPage(parent), ui(std::make_unique<Ui::ctlNewRcptLstFinish>())
{
    ui->setupUi(this);
    ui->lblHeader->setText(LoadResString(1901));
    ui->lblMessage->setText(LoadResString(1902));
}

ctlNewRcptLstFinish::~ctlNewRcptLstFinish() = default;

// --- Outlook profile ----------------------------------------------------

ctlNewRcptLstOutlookProfile::ctlNewRcptLstOutlookProfile(QWidget* parent)
    : ctlNewRcptLstPage(parent), ui(std::make_unique<Ui::ctlNewRcptLstOutlookProfile>())
{
    ui->setupUi(this);
    ui->lblHeader->setText(LoadResString(2101));
    ui->lblProfiles->setText(LoadResString(2102));
    ui->chkAuthenticationRequired->setText(LoadResString(2103));
    ui->lblPassword->setText(LoadResString(2104));
    ui->chkBlankPassword->setText(LoadResString(2105));
    ui->lblProfiles->setBuddy(ui->cboProfiles);
    ui->lblPassword->setBuddy(ui->txtPassword);
    connect(ui->chkAuthenticationRequired, &QCheckBox::clicked, this,
            &ctlNewRcptLstOutlookProfile::UpdateEnabled);
    connect(ui->chkBlankPassword, &QCheckBox::clicked, this, [this] {
        if (ui->chkBlankPassword->isChecked())
            ui->txtPassword->clear();
        UpdateEnabled();
    });
}

ctlNewRcptLstOutlookProfile::~ctlNewRcptLstOutlookProfile() = default;

void ctlNewRcptLstOutlookProfile::UpdateEnabled()
{
    const bool required = ui->chkAuthenticationRequired->isChecked();
    ui->chkBlankPassword->setEnabled(required);
    const bool password = required && !ui->chkBlankPassword->isChecked();
    ui->txtPassword->setEnabled(password);
    ui->lblPassword->setEnabled(password);
}

void ctlNewRcptLstOutlookProfile::SetControlValues(RecipientList& list)
{
    ui->cboProfiles->clear();
    int chosen = -1;
    const QString listing = SourceCatalog::ListProfiles();
    for (const QString& line : listing.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const QString name = line.section(u'\t', 0, 0);
        ui->cboProfiles->addItem(name);
        if (line.section(u'\t', 1) == u"1")
            chosen = ui->cboProfiles->count() - 1;
    }
    const int own =
        ui->cboProfiles->findText(list.Username(), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (own >= 0 && !list.Username().isEmpty())
        chosen = own;
    ui->cboProfiles->setCurrentIndex(chosen);
    ui->txtPassword->setText(list.Password());
    ui->chkBlankPassword->setChecked(list.Password().isEmpty());
    // Unchecked, the page would store an empty password: a list that has
    // one keeps it.
    ui->chkAuthenticationRequired->setChecked(!list.Password().isEmpty());
    UpdateEnabled();
}

void ctlNewRcptLstOutlookProfile::GetControlValues(RecipientList& list)
{
    list.SetUsername(ui->cboProfiles->currentText());
    const bool password =
        ui->chkAuthenticationRequired->isChecked() && !ui->chkBlankPassword->isChecked();
    list.SetPassword(password ? ui->txtPassword->text() : QString());
}

void ctlNewRcptLstOutlookProfile::Validate(RecipientList& list)
{
    if (list.Username().isEmpty())
        Refuse(ErrField, 2106);
    RecipientImport::TestConnection(list);
}

QWidget* ctlNewRcptLstOutlookProfile::Anchor(long)
{
    return ui->cboProfiles;
}

// --- Outlook folder -----------------------------------------------------

ctlNewRcptLstOutlookCatalog::ctlNewRcptLstOutlookCatalog(QWidget* parent)
    : ctlNewRcptLstPage(parent), ui(std::make_unique<Ui::ctlNewRcptLstOutlookCatalog>())
{
    ui->setupUi(this);
    ui->lblHeader->setText(LoadResString(2001));
    ui->optCatalogType0->setText(LoadResString(2002));
    ui->optCatalogType1->setText(LoadResString(2003));
    ui->lvwCatalog->setHeaderLabels({LoadResString(2004), LoadResString(2005)});
    ui->lvwCatalog->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(ui->optCatalogType0, &QRadioButton::clicked, this,
            [this] { List(RecipientList::ContactFolders); });
    connect(ui->optCatalogType1, &QRadioButton::clicked, this,
            [this] { List(RecipientList::AddressBooks); });
    connect(ui->lvwCatalog, &QTreeWidget::currentItemChanged, this, [](QTreeWidgetItem* item) {
        if (item)
            item->setSelected(true);
    });
}

ctlNewRcptLstOutlookCatalog::~ctlNewRcptLstOutlookCatalog() = default;

void ctlNewRcptLstOutlookCatalog::List(int catalogType)
{
    WaitCursor wait;
    wait.SetPointer(WaitCursor::Hourglass);
    ui->lvwCatalog->clear();
    QList<ContactsCatalogEntry> entries;
    if (catalogType == RecipientList::ContactFolders) {
        try {
            entries = SourceCatalog::ListContactFolders(m_profile);
        } catch (const AppError&) {
            // Contact folders that cannot be walked: the address books then.
            catalogType = RecipientList::AddressBooks;
        }
    }
    if (catalogType == RecipientList::AddressBooks) {
        try {
            entries = SourceCatalog::ListAddressBooks(m_profile);
        } catch (const AppError&) {
            entries.clear();
        }
    }
    ui->optCatalogType0->setChecked(catalogType == RecipientList::ContactFolders);
    ui->optCatalogType1->setChecked(catalogType == RecipientList::AddressBooks);
    for (const ContactsCatalogEntry& entry : entries) {
        auto* item = new QTreeWidgetItem(ui->lvwCatalog, {entry.Text, entry.Path});
        item->setData(0, Qt::UserRole, entry.Name);
    }
}

void ctlNewRcptLstOutlookCatalog::SetControlValues(RecipientList& list)
{
    m_profile = list.Username();
    List(list.OutlookCatalogType() == RecipientList::AddressBooks ? RecipientList::AddressBooks
                                                                  : RecipientList::ContactFolders);
    for (int i = 0; i < ui->lvwCatalog->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = ui->lvwCatalog->topLevelItem(i);
        if (item->data(0, Qt::UserRole).toString() == list.OutlookCatalog() &&
            item->text(1) == list.OutlookPath())
            ui->lvwCatalog->setCurrentItem(item);
    }
}

void ctlNewRcptLstOutlookCatalog::GetControlValues(RecipientList& list)
{
    list.SetOutlookCatalogType(ui->optCatalogType1->isChecked() ? RecipientList::AddressBooks
                                                                : RecipientList::ContactFolders);
    const QTreeWidgetItem* chosen = ui->lvwCatalog->currentItem();
    if (chosen && chosen->isSelected()) {
        list.SetOutlookCatalog(chosen->data(0, Qt::UserRole).toString());
        list.SetOutlookPath(chosen->text(1));
    }
}

void ctlNewRcptLstOutlookCatalog::Validate(RecipientList& list)
{
    const QTreeWidgetItem* chosen = ui->lvwCatalog->currentItem();
    if (!chosen || !chosen->isSelected())
        Refuse(ErrField, 2006);
    RecipientImport::GetRecordset(list);
}

QWidget* ctlNewRcptLstOutlookCatalog::Anchor(long)
{
    return ui->lvwCatalog;
}

// --- Excel first row ----------------------------------------------------

ctlNewRcptLstExcelFirstRow::ctlNewRcptLstExcelFirstRow(QWidget* parent)
    : ctlNewRcptLstPage(parent), ui(std::make_unique<Ui::ctlNewRcptLstExcelFirstRow>()),
      m_model(new RecordsetTableModel(this))
{
    ui->setupUi(this);
    ui->lblHeader->setText(LoadResString(1801));
    ui->chkFirstRowContainsColumnHeadings->setText(LoadResString(1802));
    ui->MSHFlexGrid1->setModel(m_model);
    ui->MSHFlexGrid1->horizontalHeader()->setDefaultSectionSize(kPreviewColumnWidth);
    ui->MSHFlexGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    connect(ui->chkFirstRowContainsColumnHeadings, &QCheckBox::clicked, this, [this] {
        WaitCursor wait;
        wait.SetPointer(WaitCursor::Hourglass);
        BindPreview();
    });
}

ctlNewRcptLstExcelFirstRow::~ctlNewRcptLstExcelFirstRow() = default;

void ctlNewRcptLstExcelFirstRow::BindPreview()
{
    const Recordset& shown =
        ui->chkFirstRowContainsColumnHeadings->isChecked() ? m_withHeadings : m_withoutHeadings;
    m_model->Bind(&shown, RecipientImport::ColumnLabels(shown));
    // Rows as high as the recipients grid's, in the font the window has by now.
    ui->MSHFlexGrid1->verticalHeader()->setDefaultSectionSize(
        ui->MSHFlexGrid1->fontMetrics().height() + 6);
    for (int i = 0; i < m_model->columnCount(); ++i)
        ui->MSHFlexGrid1->setColumnWidth(i, kPreviewColumnWidth);
}

void ctlNewRcptLstExcelFirstRow::SetControlValues(RecipientList& list)
{
    const bool before = list.ExcelFirstRowContainsColumnHeadings();
    m_model->Unbind();
    std::optional<AppError> failed;
    Keep(failed, [&] {
        WaitCursor wait;
        wait.SetPointer(WaitCursor::Hourglass);
        list.SetExcelFirstRowContainsColumnHeadings(true);
        m_withHeadings = RecipientImport::GetPreview(list, PreviewRows);
        list.SetExcelFirstRowContainsColumnHeadings(false);
        m_withoutHeadings = RecipientImport::GetPreview(list, PreviewRows);
    });
    list.SetExcelFirstRowContainsColumnHeadings(before);
    if (failed) {
        m_withHeadings = Recordset();
        m_withoutHeadings = Recordset();
    }
    ui->chkFirstRowContainsColumnHeadings->setChecked(before);
    BindPreview();
    RaiseKept(failed);
}

void ctlNewRcptLstExcelFirstRow::GetControlValues(RecipientList& list)
{
    list.SetExcelFirstRowContainsColumnHeadings(ui->chkFirstRowContainsColumnHeadings->isChecked());
}

void ctlNewRcptLstExcelFirstRow::Validate(RecipientList& list)
{
    RecipientImport::GetRecordset(list);
}

QWidget* ctlNewRcptLstExcelFirstRow::Anchor(long)
{
    return ui->chkFirstRowContainsColumnHeadings;
}

void ctlNewRcptLstExcelFirstRow::Leave()
{
    m_model->Unbind();
    m_withHeadings = Recordset();
    m_withoutHeadings = Recordset();
}
