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
    // Owned by the window that asks, so that help stays usable beside a
    // modal dialog; it goes with its owner.
    if (owner && parentWidget() != owner) {
        setParent(owner, Qt::Window);
        Icons::SetIcon(this, QStringLiteral("ICO_HELP"), false);
    }
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

void frmShowHelp::ShowTitle()
{
    setWindowTitle(ui->brwWebBrowser->documentTitle());
}
