#include "shell/frmMain.h"

#include "controls/Icons.h"

#include "base/AppInfo.h"
#include "base/Texts.h"
#include "shell/modForms.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>

namespace {

// The smallest size the window may be given, in pixels.
constexpr QSize MinimumSize(553, 521);

QAction* addEntry(QMenu* menu, const char* name, int textId)
{
    QAction* action = menu->addAction(Texts::ReplaceAppTokens(LoadResString(textId)));
    action->setObjectName(QLatin1String(name));
    return action;
}

} // namespace

frmMain::frmMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("%1 %2.%3")
                       .arg(AppInfo::ProductName())
                       .arg(AppInfo::Major)
                       .arg(AppInfo::Minor));
    buildMenus();
    buildSteps();
    buildStatusbar();
    modForms::ApplyFonts(this);

    setMinimumSize(MinimumSize);
    const QRect workArea = modForms::GetWorkArea();
    if (workArea.isValid())
        setGeometry(workArea);
    UpdateStatusbar();
}

void frmMain::buildMenus()
{
    m_mnuFile = menuBar()->addMenu(LoadResString(200));
    m_mnuFile->setObjectName(QStringLiteral("mnuFile"));
    m_mnuFileOpenText = addEntry(m_mnuFile, "mnuFileOpenText", 204);
    m_mnuFileSaveText = addEntry(m_mnuFile, "mnuFileSaveText", 206);
    m_mnuFileSaveTextAs = addEntry(m_mnuFile, "mnuFileSaveTextAs", 207);
    m_mnuFile->addSeparator();
    m_mnuFileSaveErrorReportAs = addEntry(m_mnuFile, "mnuFileSaveErrorReportAs", 205);
    m_mnuFileSaveErrorReportAs->setEnabled(false);
    m_mnuFile->addSeparator();
    m_mnuFileExit = addEntry(m_mnuFile, "mnuFileExit", 201);
    connect(m_mnuFileExit, &QAction::triggered, this, &QWidget::close);

    QMenu* tools = menuBar()->addMenu(LoadResString(211));
    tools->setObjectName(QStringLiteral("mnuTools"));
    addEntry(tools, "mnuToolsSMTPServiceManager", 212);

    QMenu* help = menuBar()->addMenu(LoadResString(208));
    help->setObjectName(QStringLiteral("mnuHelp"));
    addEntry(help, "mnuHelpHelp", 208);
    addEntry(help, "mnuHelpAboutCorvanta", 209);
}

void frmMain::buildSteps()
{
    m_tabMain = new QTabWidget(this);
    m_tabMain->setObjectName(QStringLiteral("tabMain"));
    const struct
    {
        const char* frame;
        int textId;
        const char* icon;
    } steps[] = {{"fraRecipients", 100, "ICO_STEP1"},
                 {"fraCompose", 101, "ICO_STEP2"},
                 {"fraPreview", 102, "ICO_STEP3"},
                 {"fraSend", 103, "ICO_STEP4"}};
    for (const auto& step : steps) {
        auto* frame = new QWidget(m_tabMain);
        frame->setObjectName(QLatin1String(step.frame));
        m_tabMain->addTab(frame, Icons::Load(QLatin1String(step.icon)), LoadResString(step.textId));
    }
    setCentralWidget(m_tabMain);
    Icons::SetIcon(this, QStringLiteral("ICO_EMAIL"), false);
}

void frmMain::buildStatusbar()
{
    statusBar()->setObjectName(QStringLiteral("sbMain"));
    m_statusProgress = new QLabel(this);
    m_statusProgress->setObjectName(QStringLiteral("sbMainProgress"));
    m_statusRecipients = new QLabel(this);
    m_statusRecipients->setObjectName(QStringLiteral("sbMainRecipients"));
    statusBar()->addWidget(m_statusProgress, 1);
    statusBar()->addPermanentWidget(m_statusRecipients);
}

void frmMain::UpdateStatusbar()
{
    // Nothing is imported until the Recipients step exists.
    m_statusRecipients->setText(LoadResString(171) + QStringLiteral(": N/A"));
}
