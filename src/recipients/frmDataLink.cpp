#include "recipients/frmDataLink.h"

#include "base/AppError.h"
#include "base/Texts.h"
#include "controls/Dialogs.h"
#include "controls/WaitCursor.h"
#include "controls/ctlBalloonTip.h"
#include "controls/modForms.h"
#include "platform/providers/Dispatch.h"
#include "platform/providers/guarded/GuardedReader.h"
#include "platform/providers/sql/ConnectionString.h"
#include "recipients/SourceCatalog.h"
#include "ui_frmDataLink.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <optional>

namespace {

// Drivers that read one file take its path and no server or login; the
// Access, spreadsheet and text drivers name that path DBQ.
bool IsFileDriver(const QString& driver)
{
    static const char* const fileDrivers[] = {"sqlite", "mdb", "access", "excel", "text", "dbase"};
    for (const char* word : fileDrivers)
        if (driver.contains(QLatin1String(word), Qt::CaseInsensitive))
            return true;
    return false;
}

QString DatabaseKey(const QString& driver)
{
    return IsFileDriver(driver) && !driver.contains(QLatin1String("sqlite"), Qt::CaseInsensitive)
               ? QStringLiteral("DBQ")
               : QStringLiteral("Database");
}

// A value goes in braces when the driver manager would otherwise cut it or
// trim it; a closing brace inside is doubled.
QString Quoted(const QString& value)
{
    const bool plain = !value.contains(u';') && !value.contains(u'{') && !value.contains(u'}') &&
                       value.trimmed() == value && !value.startsWith(u'"') &&
                       !value.startsWith(u'\'');
    if (plain)
        return value;
    QString inner = value;
    return u'{' + inner.replace(u'}', QStringLiteral("}}")) + u'}';
}

QString Item(const QString& key, const QString& value)
{
    return key + u'=' + Quoted(value) + u';';
}

bool IsKey(const QString& key, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        if (key.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Selects the entry with that text, adding it when it is not installed here
// so that a given string survives the dialog unchanged.
void SelectOrAdd(QComboBox* box, const QString& text)
{
    int index = box->findText(text);
    if (index < 0) {
        box->addItem(text);
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
}

} // namespace

frmDataLink::frmDataLink(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::frmDataLink>())
{
    ui->setupUi(this);
    m_balloon = new ctlBalloonTip(this);
    setWindowTitle(LoadResString(4100));
    ui->optDriver->setText(LoadResString(4101));
    ui->optDataSource->setText(LoadResString(4102));
    ui->lblServer->setText(LoadResString(4103));
    ui->lblUser->setText(LoadResString(4106));
    ui->lblPassword->setText(LoadResString(4107));
    ui->lblOptions->setText(LoadResString(4108));
    ui->lblConnectionString->setText(LoadResString(4109));
    ui->cmdTest->setText(LoadResString(4110));
    ui->cmdBrowse->setText(LoadResString(4111));
    ui->cmdOK->setText(LoadResString(2));
    ui->cmdCancel->setText(LoadResString(4));

    // The lists of the driver manager load no driver: cheap enough to read here.
    ui->cboDriver->addItems(SourceCatalog::InstalledOdbcDrivers());
    for (const OdbcSource::DataSource& source : SourceCatalog::OdbcDataSources())
        ui->cboDataSource->addItem(source.Name, source.Driver);
    if (ui->cboDriver->count() == 0 && ui->cboDataSource->count() > 0)
        ui->optDataSource->setChecked(true);

    for (QRadioButton* option : {ui->optDriver, ui->optDataSource})
        connect(option, &QRadioButton::toggled, this, &frmDataLink::ShowFields);
    for (QComboBox* box : {ui->cboDriver, ui->cboDataSource})
        connect(box, &QComboBox::currentIndexChanged, this, &frmDataLink::ShowFields);
    for (QLineEdit* field :
         {ui->txtServer, ui->txtDatabase, ui->txtUser, ui->txtPassword, ui->txtOptions})
        connect(field, &QLineEdit::textChanged, this, &frmDataLink::ShowFields);
    connect(ui->cmdBrowse, &QPushButton::clicked, this, &frmDataLink::cmdBrowse_Click);
    connect(ui->cmdTest, &QPushButton::clicked, this, &frmDataLink::cmdTest_Click);
    connect(ui->cmdOK, &QPushButton::clicked, this, &frmDataLink::cmdOK_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmDataLink::reject);
    modForms::ApplyFonts(this);
    modForms::InstallHelpKey(this);
}

frmDataLink::~frmDataLink() = default;

bool frmDataLink::Edit(QWidget* parent, QString& connectionString)
{
    frmDataLink dialog(parent);
    dialog.Prefill(connectionString);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    connectionString = dialog.ConnectionString();
    return true;
}

void frmDataLink::Prefill(const QString& connectionString)
{
    const ConnectionString::Items items = ConnectionString::SplitItems(connectionString);
    const bool ours = !items.isEmpty() && IsKey(items.first().first, {"Driver", "DSN"});
    if (ours) {
        QStringList options;
        for (const auto& [key, value] : items) {
            if (IsKey(key, {"Driver"})) {
                ui->optDriver->setChecked(true);
                SelectOrAdd(ui->cboDriver, value);
            } else if (IsKey(key, {"DSN"})) {
                ui->optDataSource->setChecked(true);
                SelectOrAdd(ui->cboDataSource, value);
            } else if (IsKey(key, {"Server"})) {
                ui->txtServer->setText(value);
            } else if (IsKey(key, {"Database", "DBQ"})) {
                ui->txtDatabase->setText(value);
            } else if (IsKey(key, {"UID"})) {
                ui->txtUser->setText(value);
            } else if (IsKey(key, {"PWD"})) {
                ui->txtPassword->setText(value);
            } else {
                options << Item(key, value);
            }
        }
        ui->txtOptions->setText(options.join(QString()));
    }
    ShowFields();
}

void frmDataLink::ShowFields()
{
    const bool byDriver = ui->optDriver->isChecked();
    ui->cboDriver->setEnabled(byDriver && !m_testing);
    ui->cboDataSource->setEnabled(!byDriver && !m_testing);
    ui->optDriver->setEnabled(ui->cboDriver->count() > 0 || byDriver);
    ui->optDataSource->setEnabled(ui->cboDataSource->count() > 0 || !byDriver);

    // A data source holds its own server and database; a file driver needs
    // only the file.
    const QString driver = byDriver ? ui->cboDriver->currentText() : QString();
    const bool fileDriver = byDriver && IsFileDriver(driver);
    const bool server = byDriver && !fileDriver;
    const bool login = !fileDriver;
    ui->lblServer->setVisible(server);
    ui->txtServer->setVisible(server);
    ui->lblDatabase->setVisible(byDriver);
    ui->txtDatabase->setVisible(byDriver);
    ui->cmdBrowse->setVisible(fileDriver);
    ui->lblDatabase->setText(LoadResString(fileDriver ? 4105 : 4104));
    ui->lblUser->setVisible(login);
    ui->txtUser->setVisible(login);
    ui->lblPassword->setVisible(login);
    ui->txtPassword->setVisible(login);
    // The password stays hidden here too.
    QString shown = ConnectionString();
    if (!ui->txtPassword->text().isEmpty() && ui->txtPassword->isVisibleTo(this))
        shown.replace(Item(QStringLiteral("PWD"), ui->txtPassword->text()),
                      QStringLiteral("PWD=") + QString(6, u'*') + u';');
    ui->txtConnectionString->setText(shown);
    ui->txtConnectionString->setCursorPosition(0);
}

QString frmDataLink::ConnectionString() const
{
    QString text;
    if (ui->optDriver->isChecked()) {
        const QString driver = ui->cboDriver->currentText();
        if (driver.isEmpty())
            return QString();
        text = QStringLiteral("Driver={") + QString(driver).replace(u'}', QStringLiteral("}}")) +
               QStringLiteral("};");
    } else {
        if (ui->cboDataSource->currentText().isEmpty())
            return QString();
        text = Item(QStringLiteral("DSN"), ui->cboDataSource->currentText());
    }
    // Only the fields on show go in: a server typed before switching to a file
    // driver stays in its box but not in the string.
    const auto add = [this, &text](const QLineEdit* field, const QString& key) {
        if (field->isVisibleTo(this) && !field->text().isEmpty())
            text += Item(key, field->text());
    };
    add(ui->txtServer, QStringLiteral("Server"));
    add(ui->txtDatabase, DatabaseKey(ui->cboDriver->currentText()));
    add(ui->txtUser, QStringLiteral("UID"));
    add(ui->txtPassword, QStringLiteral("PWD"));
    QString options = ui->txtOptions->text().trimmed();
    while (options.startsWith(u';'))
        options.remove(0, 1);
    if (!options.isEmpty())
        text += options.endsWith(u';') ? options : options + u';';
    return text;
}

bool frmDataLink::CheckInput()
{
    const auto refuse = [this](QWidget* target, int textId) {
        const QString text = LoadResString(textId);
        m_balloon->ShowBalloonTip(target, Texts::BalloonTitle(text), Texts::BalloonBody(text),
                                  ctlBalloonTip::IconInfo);
        return false;
    };
    const bool byDriver = ui->optDriver->isChecked();
    QComboBox* source = byDriver ? ui->cboDriver : ui->cboDataSource;
    if (source->currentText().isEmpty())
        return refuse(source, 4113);
    if (ui->cmdBrowse->isVisibleTo(this) && ui->txtDatabase->text().trimmed().isEmpty())
        return refuse(ui->txtDatabase, 4115);
    return true;
}

void frmDataLink::cmdBrowse_Click()
{
    const QFileInfo current(ui->txtDatabase->text());
    const QString path = Dialogs::OpenFileName(
        this, LoadResString(4114), current.isAbsolute() ? current.absolutePath() : QDir::homePath(),
        QString());
    if (!path.isEmpty())
        ui->txtDatabase->setText(path);
}

void frmDataLink::SetTesting(bool testing)
{
    m_testing = testing;
    for (QWidget* control :
         {static_cast<QWidget*>(ui->optDriver), static_cast<QWidget*>(ui->optDataSource),
          static_cast<QWidget*>(ui->txtServer), static_cast<QWidget*>(ui->txtDatabase),
          static_cast<QWidget*>(ui->cmdBrowse), static_cast<QWidget*>(ui->txtUser),
          static_cast<QWidget*>(ui->txtPassword), static_cast<QWidget*>(ui->txtOptions),
          static_cast<QWidget*>(ui->cmdTest), static_cast<QWidget*>(ui->cmdOK)})
        control->setEnabled(!testing);
    ui->lblStatus->setText(testing ? LoadResString(4116) : QString());
    ShowFields();
}

void frmDataLink::cmdTest_Click()
{
    if (m_testing || !CheckInput())
        return;
    const QString connectionString = ConnectionString();
    // The connection is tried in the reader helper; its call waits with
    // events running, so the window paints and Cancel ends the attempt.
    SetTesting(true);
    std::optional<AppError> error;
    {
        WaitCursor wait;
        wait.SetPointer(WaitCursor::Hourglass);
        try {
            ProviderDispatch::TestConnection(connectionString);
        } catch (const AppError& raised) {
            error = raised;
        }
    }
    SetTesting(false);
    if (m_closeAfterTest) {
        QDialog::reject();
        return;
    }
    if (error)
        Dialogs::Message(this, LoadResString(6) + QStringLiteral("\n\n") + error->Description(),
                         QMessageBox::Ok, Dialogs::Icon::Critical);
    else
        Dialogs::Message(this, LoadResString(4112), QMessageBox::Ok, Dialogs::Icon::Information);
}

void frmDataLink::cmdOK_Click()
{
    if (m_testing || !CheckInput())
        return;
    accept();
}

void frmDataLink::reject()
{
    if (m_testing) {
        // The waiting test call returns with its cancel error and closes us.
        m_closeAfterTest = true;
        GuardedReader::CancelRunning();
        return;
    }
    QDialog::reject();
}
