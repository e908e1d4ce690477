#include "base/Texts.h"
#include "controls/modForms.h"
#include "shell/HelpPages.h"
#include "shell/frmAbout.h"
#include "shell/frmMain.h"
#include "ui_frmMain.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QShortcut>

namespace {

const QString MainWindowName = QStringLiteral("frmMain");

// Where a context menu asked for at `position` of the control opens; a
// scroll area reports positions in its viewport.
QPoint GlobalPosition(QWidget* control, const QPoint& position)
{
    if (auto* area = qobject_cast<QAbstractScrollArea*>(control))
        return area->viewport()->mapToGlobal(position);
    return control->mapToGlobal(position);
}

} // namespace

void frmMain::ConnectHelp()
{
    mnuWhatsThisHelp = new QMenu(this);
    mnuWhatsThisHelp->setObjectName(QStringLiteral("mnuWhatsThisHelp"));
    QAction* whatsThis = mnuWhatsThisHelp->addAction(LoadResString(203));
    whatsThis->setObjectName(QStringLiteral("mnuWhatsThisHelpWhatsThis"));
    connect(whatsThis, &QAction::triggered, this, &frmMain::mnuWhatsThisHelpWhatsThis_Click);

    // The controls with help of their own; the attachment lists choose
    // their help in ShowAttachmentMenu.
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui->tabMain, ui->flxRcptList, ui->cboComposeFrom, ui->cmdComposeFrom, ui->cboComposeTo,
             ui->lblComposeTo, ui->lblComposeSubject, ui->cmdComposeAttach, ui->cmdPreviewFrom,
             ui->lblPreviewTo, ui->lblPreviewSubject, ui->cmdPreviewAttach, ui->flxSend}) {
        control->setContextMenuPolicy(Qt::CustomContextMenu);
        const QString tag = HelpPages::Tag({MainWindowName, control->objectName()});
        connect(control, &QWidget::customContextMenuRequested, this,
                [this, control, tag](const QPoint& position) {
                    ShowWhatsThisMenu(tag, GlobalPosition(control, position));
                });
    }

    // Shift+F10 opens the focused control's context menu, as the menu key does.
    auto* contextKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this);
    connect(contextKey, &QShortcut::activated, this, [] {
        QWidget* focus = QApplication::focusWidget();
        if (!focus)
            return;
        const QPoint at = focus->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Keyboard, at, focus->mapToGlobal(at));
        QApplication::sendEvent(focus, &event);
    });

    ui->mnuHelpHelp->setShortcut(QKeySequence::HelpContents);
    connect(ui->mnuHelpHelp, &QAction::triggered, this,
            [this] { modForms::ShowHelpFor({MainWindowName}, this); });
    connect(ui->mnuHelpAboutCorvanta, &QAction::triggered, this, [this] {
        frmAbout about(this);
        about.exec();
    });
}

QString frmMain::AttachmentHelpTag(const QTreeWidget* list, int state)
{
    // The Compose list's help goes by this spelling of its name.
    const QString name = list->objectName() == QLatin1String("lvwComposeAttach")
                             ? QStringLiteral("lvwComoseAttach")
                             : list->objectName();
    return HelpPages::Tag({MainWindowName, name, state});
}

void frmMain::ShowWhatsThisMenu(const QString& tag, const QPoint& globalPosition)
{
    QAction* whatsThis = mnuWhatsThisHelp->actions().constFirst();
    whatsThis->setData(tag);
    mnuWhatsThisHelp->popup(globalPosition);
    // Return takes the one entry, also when the menu came from the keyboard.
    mnuWhatsThisHelp->setActiveAction(whatsThis);
}

void frmMain::mnuWhatsThisHelpWhatsThis_Click()
{
    const QString tag = mnuWhatsThisHelp->actions().constFirst()->data().toString();
    if (const std::optional<HelpPages::Context> context = HelpPages::ParseTag(tag))
        modForms::ShowHelpFor(*context, this);
}
