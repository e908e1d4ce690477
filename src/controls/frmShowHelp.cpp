#include "controls/frmShowHelp.h"

#include "controls/Icons.h"
#include "controls/modForms.h"
#include "ui_frmShowHelp.h"

#include <QPointer>

namespace {
QPointer<frmShowHelp> TheHelpWindow;
} // namespace

frmShowHelp::frmShowHelp() : QWidget(nullptr, Qt::Window), ui(std::make_unique<Ui::frmShowHelp>())
{
    ui->setupUi(this);
    Icons::SetIcon(this, QStringLiteral("ICO_HELP"), false);
    modForms::ApplyFonts(this);
    ui->brwWebBrowser->document()->setDocumentMargin(8);
    connect(ui->brwWebBrowser, &QTextBrowser::sourceChanged, this, &frmShowHelp::ShowTitle);
}

frmShowHelp::~frmShowHelp() = default;

frmShowHelp* frmShowHelp::Instance()
{
    if (!TheHelpWindow)
        TheHelpWindow = new frmShowHelp();
    return TheHelpWindow;
}

frmShowHelp* frmShowHelp::Existing()
{
    return TheHelpWindow;
}

QUrl frmShowHelp::Page() const
{
    return ui->brwWebBrowser->source();
}

void frmShowHelp::ShowHelp(const HelpPages::Context& context, const QRect& frame, QWidget* owner)
{
    if (owner)
        SetOwner(owner->window());
    setWindowState(Qt::WindowNoState);
    modForms::SetFrameGeometry(this, frame);
    setWindowTitle(QString());
    m_address = HelpPages::Address(context);
    ui->brwWebBrowser->setSource(HelpPages::PageFor(m_address));
    show();
    raise();
    // The frame's size is known only once the window manager framed it.
    modForms::SetFrameGeometry(this, frame);
}

void frmShowHelp::SetOwner(QWidget* owner)
{
    // Owned by the window that asks, so that help stays usable beside a
    // modal dialog, and kept above it.
    if (parentWidget() == owner)
        return;
    if (parentWidget())
        parentWidget()->removeEventFilter(this);
    const bool shown = isVisible();
    const QRect frame = frameGeometry();
    setParent(owner, Qt::Window);
    Icons::SetIcon(this, QStringLiteral("ICO_HELP"), false);
    owner->installEventFilter(this);
    if (shown) {
        modForms::SetFrameGeometry(this, frame);
        show();
    }
}

bool frmShowHelp::eventFilter(QObject* watched, QEvent* event)
{
    // When the dialog that asked closes, help stays open for the window
    // that owns the dialog instead of going with it.
    if (watched == parentWidget() && event->type() == QEvent::Hide && !event->spontaneous()) {
        if (QWidget* below = parentWidget()->parentWidget())
            SetOwner(below->window());
    }
    return QWidget::eventFilter(watched, event);
}

void frmShowHelp::ShowTitle()
{
    setWindowTitle(ui->brwWebBrowser->documentTitle());
}
