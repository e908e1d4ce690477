#include "MainWindowSetup.h"
#include "base/AppInfo.h"
#include "controls/frmShowHelp.h"
#include "controls/modForms.h"
#include "shell/HelpPages.h"
#include "shell/frmSysInfo.h"

#include <QClipboard>
#include <QDialog>
#include <QDirIterator>
#include <QMenu>
#include <QShortcut>
#include <QProcess>
#include <QRegularExpression>
#include <QTableView>
#include <QTreeWidget>

using namespace TestSupport;

namespace {

// The narrowest the window's frame can be.
int SmallestWidth(const QWidget& window)
{
    return qMax(window.minimumWidth(), window.minimumSizeHint().width()) +
           window.frameGeometry().width() - window.width();
}

QString PageText(const QUrl& page)
{
    QFile file(u':' + page.path());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// True when the page exists and holds the place the address names.
bool PageHolds(const QUrl& page)
{
    const QString text = PageText(page);
    return !text.isEmpty() &&
           (!page.hasFragment() ||
            text.contains(QStringLiteral("<a name=\"%1\">").arg(page.fragment())));
}

// The first dotted version number in a text ("Linux 6.1.0-18" -> "6.1.0").
QString VersionIn(const QString& text)
{
    static const QRegularExpression version(QStringLiteral("\\d+(\\.\\d+)+"));
    return version.match(text).captured(0);
}

QString Run(const QString& command)
{
    QProcess process;
    process.startCommand(command);
    process.waitForFinished();
    return process.exitCode() == 0 ? QString::fromUtf8(process.readAllStandardOutput()) : QString();
}

} // namespace

class TestHelp : public MainWindowTest
{
    Q_OBJECT

    QMenu* Popup() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }

    // The help window's page after choosing What's This in the open menu.
    QUrl ChooseWhatsThis()
    {
        // As a click on the entry does: the menu closes, then the entry acts.
        QAction* entry = Popup()->actions().constFirst();
        Popup()->close();
        entry->trigger();
        return frmShowHelp::Existing() ? frmShowHelp::Existing()->Page() : QUrl();
    }

private Q_SLOTS:
    void init()
    {
        m_window = OpenMainWindow();
        delete frmShowHelp::Existing();
    }
    void cleanup() { CloseWindow(); }

    // Every context in use has a page of its own; the rest end on the main page.
    void contextsResolveToBundledPages_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<bool>("ownPage");
        const QString used = QStringLiteral(
            "frmMain|tabMain|0 frmMain|flxRcptList|0 frmMain|cboComposeFrom|0 "
            "frmMain|cmdComposeFrom|0 frmMain|cboComposeTo|0 frmMain|lblComposeTo|0 "
            "frmMain|lblComposeSubject|0 frmMain|cmdComposeAttach|0 frmMain|lvwComoseAttach|1 "
            "frmMain|lvwComoseAttach|2 frmMain|cmdPreviewFrom|0 frmMain|lblPreviewTo|0 "
            "frmMain|lblPreviewSubject|0 frmMain|cmdPreviewAttach|0 frmMain|lvwPreviewAttach|1 "
            "frmMain|lvwPreviewAttach|2 frmMain|flxSend|0 frmNewRcptLst||0 frmDataLink||0 "
            "frmFilter||0 frmMailCfg||0 frmSMTPServiceManager||0 frmSendTestEMail||0 "
            "frmFormatFromEMail||0 frmFormatFromEMailAdd||0 frmTextExport||0");
        const QString unknown =
            QStringLiteral("frmMain||0 frmMain|tabMain|1 frmMain|txtNothing|0 frmNone||0");
        for (const auto& [tags, ownPage] : {std::pair{used, true}, std::pair{unknown, false}})
            for (const QString& tag : tags.split(u' '))
                QTest::newRow(qPrintable(tag)) << tag << ownPage;
    }
    void contextsResolveToBundledPages()
    {
        QFETCH(QString, tag);
        QFETCH(bool, ownPage);
        const QUrl page = HelpPages::PageFor(HelpPages::Address(*HelpPages::ParseTag(tag)));
        QVERIFY2(PageHolds(page), qPrintable(page.toString()));
        QCOMPARE(page != HelpPages::MainPage(), ownPage);
    }

    // Every link between the pages leads to a page and place that exist, and
    // every page can be reached from another.
    void linksBetweenPagesResolve()
    {
        static const QRegularExpression link(QStringLiteral("href=\"([^\"]*)\""));
        QSet<QString> pages, linked{QStringLiteral("index.html")};
        for (QDirIterator it(QStringLiteral(":/help"), {QStringLiteral("*.html")}); it.hasNext();) {
            const QString name = QFileInfo(it.next()).fileName();
            pages << name;
            const QUrl base(QStringLiteral("qrc:/help/") + name);
            for (const auto& match : link.globalMatch(PageText(base))) {
                const QUrl target = base.resolved(QUrl(match.captured(1)));
                QVERIFY2(target.scheme() == QLatin1String("qrc") && PageHolds(target),
                         qPrintable(name + QStringLiteral(" -> ") + match.captured(1)));
                linked << target.fileName();
            }
        }
        QVERIFY(pages.size() > 10);
        QCOMPARE(linked, pages);
    }

    // What's This acts only on a tag of text, "|", text, "|" and one digit,
    // and sends its parts unencoded.
    void whatsThisTagRule_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("query"); // empty: no help
        const char* rows[][3] = {
            {"control", "frmMain|flxSend|0", "&frm=frmMain&ctl=flxSend&state=0"},
            {"window", "frmMain||0", "&frm=frmMain&ctl=&state=0"},
            {"unencoded", "frm Main|a&b|9", "&frm=frm Main&ctl=a&b&state=9"},
            {"two digits", "frmMain|flxSend|10", ""},
            {"no digit", "frmMain|flxSend|", ""},
            {"letter", "frmMain|flxSend|x", ""},
            {"two parts", "frmMain|0", ""},
            {"four parts", "frmMain|a|b|0", ""},
            {"empty", "", ""}};
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2]);
    }
    void whatsThisTagRule()
    {
        QFETCH(QString, tag);
        QFETCH(QString, query);
        auto* entry = m_window->findChild<QAction*>(QStringLiteral("mnuWhatsThisHelpWhatsThis"));
        entry->setData(tag);
        entry->trigger();
        const QString page = AppInfo::HomePage() + QStringLiteral("/help/?p=Corvanta&v=%1.%2.%3")
                                                       .arg(AppInfo::Major)
                                                       .arg(AppInfo::Minor)
                                                       .arg(AppInfo::Revision);
        frmShowHelp* help = frmShowHelp::Existing();
        QCOMPARE(help ? help->Address() : QString(), query.isEmpty() ? QString() : page + query);
    }

    // A right-click offers help about the control; on the attachment lists a
    // selected file gets the attachment menu, elsewhere help about the files
    // (1) or the empty list (2).
    void rightClickMenus_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("files");
        QTest::addColumn<QString>("at"); // "item", "selected" or "free"
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("page");
        const struct
        {
            const char *name, *control;
            int files;
            const char *at, *menu, *page;
        } rows[] = {{"grid", "flxRcptList", 0, "free", "mnuWhatsThisHelp", "recipients.html#grid"},
                    {"label", "lblComposeTo", 0, "free", "mnuWhatsThisHelp", "compose.html#to"},
                    {"empty list", "lvwComposeAttach", 0, "free", "mnuWhatsThisHelp",
                     "attachments.html#empty"},
                    {"beside files", "lvwComposeAttach", 1, "free", "mnuWhatsThisHelp",
                     "attachments.html#files"},
                    {"unselected file", "lvwComposeAttach", 1, "item", "mnuWhatsThisHelp",
                     "attachments.html#files"},
                    {"selected file", "lvwComposeAttach", 1, "selected", "mnuFileListContext",
                     "attachments.html#files"},
                    {"empty preview list", "lvwPreviewAttach", 0, "free", "mnuWhatsThisHelp",
                     "attachments.html#empty"}};
        for (const auto& row : rows)
            QTest::newRow(row.name)
                << QString::fromLatin1(row.control) << row.files << QString::fromLatin1(row.at)
                << QString::fromLatin1(row.menu) << QString::fromLatin1(row.page);
    }
    void rightClickMenus()
    {
        QFETCH(QString, control);
        QFETCH(int, files);
        QFETCH(QString, at);
        QFETCH(QString, menu);
        QFETCH(QString, page);
        auto* widget = Get(control.toLatin1());
        widget->setEnabled(true); // the preview's list takes clicks once unlocked
        auto* area = qobject_cast<QAbstractScrollArea*>(widget);
        QWidget* surface = area ? area->viewport() : widget;
        QPoint position = surface->rect().bottomRight() - QPoint(2, 2);
        if (auto* list = qobject_cast<QTreeWidget*>(widget)) {
            const QString file = QDir::homePath() + QStringLiteral("/a.txt");
            PutFile(file, "a");
            for (int i = 0; i < files; ++i) {
                Dialogs::QueueAnswer(QStringList{file});
                Click("cmdComposeAttach");
            }
            list->clearSelection();
            if (at != QLatin1String("free"))
                position = list->visualItemRect(list->topLevelItem(0)).center();
            if (at == QLatin1String("selected"))
                list->topLevelItem(0)->setSelected(true);
        }
        QString shown;
        QUrl help;
        // The attachment menu holds the test in its own loop until closed.
        QTimer::singleShot(0, this, [&] {
            if (Popup() && Popup()->objectName() == QLatin1String("mnuFileListContext")) {
                shown = Popup()->objectName();
                QAction* entry = Popup()->actions().constLast();
                Popup()->close();
                entry->trigger();
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, position, surface->mapToGlobal(position));
        QApplication::sendEvent(surface, &event);
        if (shown.isEmpty()) {
            QVERIFY(Popup());
            shown = Popup()->objectName();
            help = ChooseWhatsThis();
        } else {
            help = frmShowHelp::Existing()->Page();
        }
        QCOMPARE(shown, menu);
        QCOMPARE(help, QUrl(QStringLiteral("qrc:/help/") + page));
    }

    // Help docks at the right of the work area, as high as it, and the main
    // window gives it room; one help window serves every request.
    void helpDocksBesideTheMainWindow()
    {
        m_window->showMaximized();
        const QRect area = modForms::GetWorkArea();
        m_window->findChild<QAction*>(QStringLiteral("mnuHelpHelp"))->trigger();
        QPointer<frmShowHelp> help = frmShowHelp::Existing();
        QVERIFY(help && help->isVisible());
        QCOMPARE(help->frameGeometry(), QRect(area.right() - 349, area.top(), 350, area.height()));
        QCOMPARE(help->Page(), HelpPages::MainPage());
        QCOMPARE(help->windowTitle(), QStringLiteral("Corvanta Help"));
        QVERIFY(!m_window->isMaximized());
        QCOMPARE(m_window->frameGeometry(),
                 QRect(area.topLeft(),
                       QSize(qMax(area.width() - 350, SmallestWidth(*m_window)), area.height())));

        // From the keyboard: Shift+F10 on the grid, Return on the menu.
        m_window->activateWindow();
        Get("flxRcptList")->setFocus();
        QTest::keyClick(m_window.get(), Qt::Key_F10, Qt::ShiftModifier);
        QVERIFY(Popup());
        QTest::keyClick(Popup(), Qt::Key_Return);
        QCOMPARE(help->Page(), QUrl(QStringLiteral("qrc:/help/recipients.html#grid")));
        QCOMPARE(frmShowHelp::Existing(), help.data());
        QCOMPARE(help->windowTitle(), QStringLiteral("Import Recipients"));

        // F1 in a dialog asks for its page, which stays open when the dialog
        // closes.
        auto* dialog = new QDialog(m_window.get());
        dialog->setObjectName(QStringLiteral("frmFilter"));
        modForms::InstallHelpKey(dialog);
        dialog->show();
        auto* f1 = dialog->findChild<QShortcut*>();
        QVERIFY(f1 && f1->key() == QKeySequence(QKeySequence::HelpContents));
        Q_EMIT f1->activated();
        QCOMPARE(help->parentWidget(), dialog);
        delete dialog;
        QVERIFY(help && help->isVisible());
        QCOMPARE(help->parentWidget(), m_window.get());
        QCOMPARE(help->Page(), QUrl(QStringLiteral("qrc:/help/filter.html")));
    }

    // The system information shows the versions this machine's own tools
    // report, and Copy hands them on as text.
    void systemInformationShowsRealVersions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("oracle");
        const std::pair<QString, const char*> rows[] = {
            {LoadResString(4502), "uname -r"},
            {QStringLiteral("Qt"), "pkg-config --modversion Qt6Core"},
            {LoadResString(4504), "pkg-config --modversion sqlite3"},
            {QStringLiteral("GMime"), "pkg-config --modversion gmime-3.0"},
            {QStringLiteral("libxlsxwriter"), "dpkg-query -W -f=${Version} libxlsxwriter-dev"},
            {QStringLiteral("unixODBC"), "odbcinst --version"},
            {QStringLiteral("FreeTDS"), "dpkg-query -W -f=${Version} tdsodbc"}};
        for (const auto& [name, oracle] : rows)
            QTest::newRow(qPrintable(name)) << name << QString::fromLatin1(oracle);
    }
    void systemInformationShowsRealVersions()
    {
        QFETCH(QString, name);
        QFETCH(QString, oracle);
        const QString expected = VersionIn(Run(oracle));
        if (expected.isEmpty())
            QSKIP("the machine cannot tell this version");
        frmSysInfo info;
        const QString text = info.Text();
        const QString line = text.section(name + QStringLiteral(": "), 1, 1).section(u'\n', 0, 0);
        // SQL drivers name their SQLite after the drivers; the manager gives
        // only its major and minor version.
        const QString shown = VersionIn(
            name == LoadResString(4504) ? line.section(QStringLiteral("SQLite"), 1) : line);
        QVERIFY2(!shown.isEmpty() && (expected + u'.').startsWith(shown + u'.'),
                 qPrintable(line + QStringLiteral(" / ") + expected));
        QVERIFY(text.contains(LoadResString(4506) + QStringLiteral(": ") +
                              FilesSystem::VersionDataFolder() + u'\n'));
        QTest::mouseClick(info.findChild<QAbstractButton*>(QStringLiteral("cmdCopy")),
                          Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), text);
    }
};

CORVANTA_TEST_MAIN(TestHelp)
#include "tst_Help.moc"
