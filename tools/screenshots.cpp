// Walks the program's windows offscreen, with a sample list and senders in a
// data folder of its own, and writes a picture of each to the folder given.
#include "controls/Dialogs.h"
#include "controls/FrameKeepingStyle.h"
#include "controls/frmShowHelp.h"
#include "delivery/MailConfiguration.h"
#include "delivery/MailSecrets.h"
#include "delivery/frmSendTestEMail.h"
#include "delivery/frmSendingEMails.h"
#include "delivery/frmTrustCertificate.h"
#include "filters/Filters.h"
#include "filters/frmFilter.h"
#include "platform/recordset/Recordset.h"
#include "delivery/frmTextExport.h"
#include "merge/frmMergingPreview.h"
#include "recipients/frmDataLink.h"
#include "recipients/RecipientImport.h"
#include "recipients/RecipientLists.h"
#include "recipients/frmNewRcptLst.h"
#include "senders/FromAddresses.h"
#include "shell/frmMain.h"
#include "store/DataStore.h"
#include "store/FilesSystem.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <cstdio>
#include <functional>
#include <tuple>

namespace {

QString g_folder;

void Save(QWidget* window, const char* name)
{
    QApplication::processEvents();
    const QString path = g_folder + u'/' + QLatin1String(name) + QStringLiteral(".png");
    if (!window->grab().save(path))
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

// Runs `act` on the next modal window other than `current` once it is up:
// on a busy machine it may take longer than any fixed wait.
void AtModal(const std::function<void(QWidget*)>& act, QWidget* current = nullptr)
{
    QTimer::singleShot(100, [act, current] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog && dialog != current)
            act(dialog);
        else
            AtModal(act, current);
    });
}

// Grabs the modal dialog that `open` brings up, then closes it.
void SaveModal(const char* name, const std::function<void()>& open, QWidget* current = nullptr)
{
    AtModal(
        [name](QWidget* dialog) {
            Save(dialog, name);
            dialog->close();
        },
        current);
    open();
}

void SeedStore()
{
    RecipientLists lists;
    auto people = std::make_shared<RecipientList>();
    people->SetListName(QStringLiteral("Sample people (CSV)"));
    people->SetDataType(RecipientList::Excel);
    people->SetExcelFilename(QStringLiteral(CORVANTA_SAMPLES "/people.csv"));
    people->SetCatalogCommandType(RecipientList::CmdTable);
    people->SetCatalogTableOrView(QStringLiteral("people"));
    people->SetIsListValid(true);
    lists.Add(people);
    auto club = std::make_shared<RecipientList>(*people);
    club->SetListName(QStringLiteral("Club members"));
    lists.Add(club);
    FromAddresses senders;
    senders.Add(QStringLiteral("Corvanta Newsletter"), QStringLiteral("news@example.org"),
                QStringLiteral("replies@example.org"));
    senders.Add(QString(), QStringLiteral("office@example.org"), QString());
    DataStore store(lists, senders, FilesSystem::VersionDataFolder());
    store.Load();
    store.Save();
    // A port nothing listens on.
    MailConfiguration settings;
    settings.SetSMTPServer(QStringLiteral("127.0.0.1"));
    settings.SetSMTPServerPort(9);
    settings.SetSMPTAuthenticate(1);
    settings.SetSMTPUsername(QStringLiteral("news@example.org"));
    settings.SetSMTPPassword(QStringLiteral("secret"));
    settings.SetSMTPTrustedCertificates(QStringLiteral(
        "mail.example.org 3f9a6c0e5b7d21a4c8e0f2b6d9a1c3e5f7092b4d6e8a0c2e4f6a8b0d2e4f6a8b"));
    settings.Save();
}

template <typename T> T* Child(QWidget* window, const char* name)
{
    return window->findChild<T*>(QLatin1String(name));
}

// A mail server of a few lines that takes every mail, for the test wizard's
// pages after a run that went well.
class AcceptingServer : public QTcpServer
{
public:
    AcceptingServer()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection())
                Serve(socket);
        });
    }

private:
    static void Serve(QTcpSocket* socket)
    {
        socket->write("220 pictures\r\n");
        auto inData = std::make_shared<bool>(false);
        connect(socket, &QTcpSocket::readyRead, socket, [socket, inData] {
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine();
                if (*inData) {
                    if (line == ".\r\n") {
                        *inData = false;
                        socket->write("250 taken\r\n");
                    }
                    continue;
                }
                const QByteArray verb = line.left(4).toUpper();
                *inData = verb == "DATA";
                socket->write(*inData ? "354 go on\r\n" : verb == "QUIT" ? "221 bye\r\n" : "250 ok\r\n");
            }
        });
    }
};

// The test e-mail wizard: its pages after a run that failed (settings as
// seeded) and after one that went well, and the certificate question.
void SaveTestWizard(QWidget* owner)
{
    auto from = std::make_shared<const FromAddress>(QStringLiteral("Corvanta Newsletter"),
                                                    QStringLiteral("news@example.org"), QString());
    frmSendTestEMail wizard(owner, from, from->GetPreviewEMailAddress());
    wizard.show();
    Child<QLineEdit>(&wizard, "txtTestEMail0")->setText(QStringLiteral("me@example.org"));
    Child<QLineEdit>(&wizard, "txtTestEMail1")->setText(QStringLiteral("me.too@example.net"));
    Save(&wizard, "test-email");
    Child<QPushButton>(&wizard, "cmdNext")->click();
    Save(&wizard, "test-email-errors");

    AcceptingServer server;
    MailConfiguration settings;
    const qint16 port = settings.SMTPServerPort();
    settings.SetSMTPServerPort(qint16(server.serverPort()));
    settings.Save();
    Child<QPushButton>(&wizard, "cmdPrevious")->click();
    Child<QPushButton>(&wizard, "cmdNext")->click();
    Save(&wizard, "test-email-success");
    for (const char* answer : {"optIsMailReceived0", "optIsMailReceived1"}) {
        Child<QRadioButton>(&wizard, answer)->setChecked(true);
        Child<QPushButton>(&wizard, "cmdNext")->click();
        Save(&wizard, answer[17] == '0' ? "test-email-yes" : "test-email-no");
        Child<QPushButton>(&wizard, "cmdPrevious")->click();
    }
    settings.SetSMTPServerPort(port);
    settings.Save();

    ServerCertificate certificate;
    certificate.host = QStringLiteral("mail.example.org");
    certificate.subject = QStringLiteral("CN=mail.example.org, O=Example Ltd, C=GB");
    certificate.issuer = certificate.subject;
    certificate.validFrom = QDateTime(QDate(2026, 3, 1), QTime(9, 0));
    certificate.validTo = QDateTime(QDate(2028, 3, 1), QTime(9, 0));
    certificate.sha256 = QStringLiteral("3f5a9c0e7b21d4486f0c9ab1e2d37f48a5c6e9d0b1f2a3c4d5e6f708192a3b4c");
    SaveModal("trust-certificate", [&] { frmTrustCertificate::Ask(&wizard, certificate); });
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: corvanta-screenshots <folder>\n");
        return 2;
    }
    // A data folder of our own: the user's is never touched.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("HOME", home.path().toLocal8Bit());
    // Nor the user's keyring: without a session bus there is none.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    QApplication app(argc, argv);
    FrameKeepingStyle::Install(); // as the program does
    // Questions are answered with their safe default instead of waiting.
    Dialogs::SetScripted(true);
    g_folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(g_folder);
    SeedStore();

    frmMain main;
    main.setGeometry(0, 0, 1000, 640);
    main.show();
    main.TabClick(0);
    main.ImportRecipientList(1);
    Save(&main, "recipients");

    Child<QTabBar>(&main, "tabMain")->setCurrentIndex(1);
    QApplication::processEvents();
    Child<QComboBox>(&main, "cboComposeFrom")->setCurrentIndex(0);
    Child<QComboBox>(&main, "cboComposeTo")->setCurrentIndex(2);
    Child<QLineEdit>(&main, "txtComposeSubject")->setText(QStringLiteral("News for «City»"));
    Child<QPlainTextEdit>(&main, "txtComposeTextBody")
        ->setPlainText(
            QStringLiteral("Dear «FirstName» «LastName»,\n\nour autumn meeting in «City» is on "
                           "14 November. Everyone at «Company» is welcome.\n\nKind regards,\n"
                           "The Corvanta team"));
    auto* attachments = Child<QTreeWidget>(&main, "lvwComposeAttach");
    auto* item = new QTreeWidgetItem(attachments, {QStringLiteral("Programme.pdf")});
    // A file that is there: the Send step asks about attachments it cannot read.
    const QString programme = home.filePath(QStringLiteral("Programme.pdf"));
    QFile(programme).open(QIODevice::WriteOnly);
    item->setData(0, Qt::UserRole, programme);
    // And one per person, named by their values, so that the Preview shows it merged.
    item = new QTreeWidgetItem(attachments, {QStringLiteral("Invitation «LastName».pdf")});
    item->setData(0, Qt::UserRole, home.filePath(QStringLiteral("Invitation «LastName».pdf")));
    Recordset& people = RecipientImport::ImportedRecipients();
    for (int i = 0; i < people.RecordCount(); ++i)
        QFile(home.filePath(QStringLiteral("Invitation %1.pdf").arg(people.ValueAt(i, 1).toString())))
            .open(QIODevice::WriteOnly);
    Save(&main, "compose");

    // The Preview step after the merge, unlocked on its second mail.
    Child<QTabBar>(&main, "tabMain")->setCurrentIndex(2);
    QApplication::processEvents();
    Child<QPushButton>(&main, "cmdUnlock")->click();
    Child<QToolButton>(&main, "cmdMoveNext")->click();
    Save(&main, "preview");

    // The Send step after a run to a server that is not there: every mail
    // fails, and the grid shows why.
    Child<QTabBar>(&main, "tabMain")->setCurrentIndex(3);
    QApplication::processEvents();
    AtModal([](QWidget* confirm) {
        Save(confirm, "confirm");
        Child<QPushButton>(confirm, "cmdSendEMails")->click();
    });
    Dialogs::QueueAnswer(QMessageBox::Yes); // send without the attachment, which is not there
    Child<QPushButton>(Child<QWidget>(&main, "ctlWizSend"), "cmdSendEMails")->click();
    Save(&main, "send");
    SaveTestWizard(&main);

    // The mail setup dialog from the Send step, and the service manager.
    SaveModal("mail-setup", [&main] {
        Child<QPushButton>(Child<QWidget>(&main, "ctlWizSend"), "cmdEMailSetup")->click();
    });
    // Each way of logging in, then a sign-in that holds. The secrets stay in
    // this program's memory: the tool runs without the desktop's keyring.
    const auto saveLogin = [&main](const char* name, int kind, const QStringList& values) {
        AtModal([name, kind, values](QWidget* dialog) {
            Child<QCheckBox>(dialog, "chkAuthenticationRequired")->setChecked(true);
            auto* choice = Child<QComboBox>(dialog, "cboAuthenticationKind");
            choice->setCurrentIndex(kind);
            Q_EMIT choice->activated(kind);
            const char* boxes[] = {"txtUsername", "txtOAuthClientID", "txtOAuthClientSecret",
                                   "txtOAuthAuthorizeURL", "txtOAuthTokenURL"};
            for (qsizetype i = 0; i < values.size(); ++i)
                Child<QLineEdit>(dialog, boxes[i])->setText(values[i]);
            Save(dialog, name);
            dialog->close();
        });
        Child<QPushButton>(Child<QWidget>(&main, "ctlWizSend"), "cmdEMailSetup")->click();
    };
    saveLogin("mail-setup-microsoft", 1, {QStringLiteral("news@example.org"),
                                          QStringLiteral("6731de76-14a6-49ae-97bc-6eba6914391e")});
    saveLogin("mail-setup-google", 2, {QStringLiteral("news@example.org"),
                                       QStringLiteral("1234567890-abc.apps.googleusercontent.com"),
                                       QStringLiteral("GOCSPX-example")});
    saveLogin("mail-setup-other", 3, {QStringLiteral("news@example.org"), QStringLiteral("corvanta"), QString(),
                                      QStringLiteral("https://id.example.org/oauth2/authorize"),
                                      QStringLiteral("https://id.example.org/oauth2/token")});
    {
        MailConfiguration settings{QString()};
        settings.SetSendUsingMethod(MailDeliverySettings::Port);
        settings.SetSMTPServer(QStringLiteral("smtp.office365.com"));
        settings.SetSMTPServerPort(587);
        settings.SetSMPTAuthenticate(2);
        settings.SetSMTPUsername(QStringLiteral("news@example.org"));
        settings.SetSMTPOAuthProvider(OAuthProvider::Microsoft365);
        settings.SetSMTPOAuthClientID(QStringLiteral("6731de76-14a6-49ae-97bc-6eba6914391e"));
        settings.Save();
        OAuthGrant grant;
        grant.accessToken = QStringLiteral("access");
        grant.refreshToken = QStringLiteral("refresh");
        grant.expiresAt = QDateTime::currentDateTimeUtc().addSecs(3600);
        grant.account = QStringLiteral("news@example.org");
        MailSecrets::StoreGrant(settings.SMTPServer(), settings.SMTPUsername(), grant);
    }
    SaveModal("mail-setup-signed-in", [&main] {
        Child<QPushButton>(Child<QWidget>(&main, "ctlWizSend"), "cmdEMailSetup")->click();
    });
    SaveModal("service-manager",
              [&main] { Child<QAction>(&main, "mnuToolsSMTPServiceManager")->trigger(); });

    // The text format of the error report, over the run's failures.
    const Recordset& failures = main.SendErrors().Records();
    QStringList fields;
    QList<QStringList> rows(qMin(failures.RecordCount(), 100));
    for (int i = 0; i < failures.FieldCount(); ++i) {
        fields << failures.FieldName(i);
        for (qsizetype row = 0; row < rows.size(); ++row)
            rows[row] << failures.ValueAt(int(row), i).toString();
    }
    SaveModal("text-format", [&] { frmTextExport::ShowFormatDialog(&main, fields, rows); });

    // The two progress windows, part way.
    for (ProgressForm* progress : std::initializer_list<ProgressForm*>{
             new frmMergingPreview(&main), new frmSendingEMails(&main)}) {
        progress->SetMaximum(2500);
        QThread::msleep(50); // a running count is drawn every few hundredths of a second
        progress->SetPosition(1000);
        progress->show();
        Save(progress,
             progress->objectName() == QLatin1String("frmMergingPreview") ? "merging" : "sending");
        progress->Finish();
    }

    // The filter dialog over typed columns, with a saved date row.
    Recordset typed;
    typed.AppendField(QStringLiteral("FirstName"), AdoType::VarWChar, 4000);
    typed.AppendField(QStringLiteral("City"), AdoType::VarWChar, 4000);
    typed.AppendField(QStringLiteral("Member"), AdoType::Boolean, 2);
    typed.AppendField(QStringLiteral("Joined"), AdoType::DBTimeStamp, 8);
    typed.AppendField(QStringLiteral("Age"), AdoType::Integer, 4);
    typed.Open();
    Filters savedRows;
    const std::tuple<const char*, int, QVariant, int> saved[] = {
        {"City", 0, QStringLiteral("Oslo"), 0},
        {"Joined", 3, QStringLiteral("2021-03-05 09:30"), 0},
        {"Member", 0, QStringLiteral("1"), 1}};
    for (const auto& [column, position, value, clause] : saved) {
        Filter row;
        row.SetData(QLatin1String(column));
        row.SetComparisonOperator(position);
        row.SetValue(value);
        row.SetLogicalOperator(clause);
        savedRows.Add(row);
    }
    SaveModal("filter", [&] { frmFilter::ShowFilter(&main, typed, savedRows); });
    QString connection = QStringLiteral(
        "Driver={FreeTDS};Server=db.example.org;Database=club;UID=mailer;PWD=secret;Port=1433;");
    SaveModal("datalink", [&] { frmDataLink::Edit(&main, connection); });

    // Sending, waiting to retry mails the server refused for now.
    auto* waiting = new frmSendingEMails(&main);
    waiting->SetMaximum(2500);
    waiting->SetPosition(2500);
    waiting->ShowWaiting(105'000, 12);
    waiting->show();
    Save(waiting, "sending-waiting");
    waiting->Finish();

    // The book, and the entry dialog opened from it for its first sender.
    AtModal([](QWidget* book) {
        Child<QTreeWidget>(book, "lvwFromAddresses")
            ->setCurrentItem(Child<QTreeWidget>(book, "lvwFromAddresses")->topLevelItem(0));
        SaveModal("sender-entry", [book] { Child<QPushButton>(book, "cmdEdit")->click(); }, book);
        Save(book, "sender-book");
        book->close();
    });
    Child<QPushButton>(&main, "cmdComposeFrom")->click();

    // Help on the Compose step's To box, and the about box with the
    // system information opened from it.
    main.findChild<QAction*>(QStringLiteral("mnuWhatsThisHelpWhatsThis"))
        ->setData(QStringLiteral("frmMain|cboComposeTo|0"));
    main.findChild<QAction*>(QStringLiteral("mnuWhatsThisHelpWhatsThis"))->trigger();
    Save(frmShowHelp::Existing(), "help");
    QTimer::singleShot(200, [] {
        QWidget* about = QApplication::activeModalWidget();
        Save(about, "about");
        SaveModal("sysinfo", [about] { Child<QPushButton>(about, "cmdSysInfo")->click(); });
        about->close();
    });
    main.findChild<QAction*>(QStringLiteral("mnuHelpAboutCorvanta"))->trigger();
    // Every page of the list wizard: the worksheet road, then the other
    // source pages, with a mail profile of one address book.
    QDir().mkpath(home.filePath(QStringLiteral(".thunderbird/x1.default")));
    QFile ini(home.filePath(QStringLiteral(".thunderbird/profiles.ini")));
    if (ini.open(QIODevice::WriteOnly))
        ini.write("[Profile0]\nName=default\nIsRelative=1\nPath=x1.default\nDefault=1\n");
    ini.close();
    QFile book(home.filePath(QStringLiteral(".thunderbird/x1.default/abook.sqlite")));
    book.open(QIODevice::WriteOnly);
    book.close();
    SetEditedRecipientList(std::make_shared<RecipientList>());
    QTimer::singleShot(200, [] {
        QWidget* wizard = QApplication::activeModalWidget();
        const auto click = [wizard](const char* name) { Child<QAbstractButton>(wizard, name)->click(); };
        const auto page = [&](const char* name, std::initializer_list<const char*> steps) {
            for (const char* step : steps)
                click(step);
            Save(wizard, name);
        };
        Child<QLineEdit>(wizard, "txtName")->setText(QStringLiteral("Club members"));
        page("wizard-01-name", {});
        page("wizard-02-source-type", {"cmdNext", "optSourceType3"});
        click("cmdNext");
        Child<QLineEdit>(wizard, "txtFilename")->setText(QStringLiteral(CORVANTA_SAMPLES "/people.csv"));
        page("wizard-06-excel", {});
        page("wizard-08-catalog", {"cmdNext"});
        Child<QListWidget>(wizard, "lstCatalogs")->setCurrentRow(0);
        page("wizard-12-first-row", {"cmdNext"});
        page("wizard-09-finish", {"cmdNext"});
        for (int i = 0; i < 4; ++i)
            click("cmdPrevious");
        page("wizard-03-sql-server", {"optSourceType0", "cmdNext"});
        page("wizard-04-access", {"cmdPrevious", "optSourceType1", "cmdNext"});
        page("wizard-05-xml", {"cmdPrevious", "optSourceType2", "cmdNext"});
        page("wizard-07-advanced", {"cmdPrevious", "optSourceType4", "cmdNext"});
        page("wizard-10-outlook-profile", {"cmdPrevious", "optSourceType5", "cmdNext"});
        page("wizard-11-outlook-folder", {"cmdNext"});
        wizard->close();
    });
    frmNewRcptLst::ShowWizard(&main);
    SetEditedRecipientList(nullptr);
    return 0;
}
