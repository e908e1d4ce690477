#include "recipients/ctlWizRecipients.h"

#include "base/Texts.h"
#include "controls/ctlBalloonTip.h"
#include "recipients/RecipientLists.h"
#include "ui_ctlWizRecipients.h"

#include <QCoreApplication>
#include <QHelpEvent>
#include <QToolTip>

namespace {

// Twips in a pixel, for the offsets given in twips.
constexpr int TwipsPerPixel = 15;

} // namespace

ctlWizRecipients::ctlWizRecipients(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::ctlWizRecipients>())
{
    ui->setupUi(this);
    m_balloon = new ctlBalloonTip(this);

    const struct
    {
        QWidget* control;
        int caption;
        int tip;
    } texts[] = {{ui->Label1, 2702, 0},        {ui->lblRecipientLists, 2703, 0},
                 {ui->lstRecipients, 0, 2711}, {ui->cmdDelete, 2704, 2712},
                 {ui->cmdEdit, 2705, 2713},    {ui->cmdNew, 2706, 2714},
                 {ui->cmdImport, 2707, 2715},  {ui->Label2, 2708, 0},
                 {ui->Label3, 2709, 0},        {ui->cmdFilterRecipients, 2710, 2716}};
    m_tips.StartTip(this);
    for (const auto& t : texts) {
        if (t.caption != 0)
            t.control->setProperty("text", LoadResString(t.caption));
        if (t.tip != 0)
            m_tips.SetToolTip(t.control, LoadResString(t.tip));
    }
    // An entry too wide for the list shows itself as the tip.
    ui->lstRecipients->viewport()->installEventFilter(this);

    connect(ui->cmdNew, &QPushButton::clicked, this, &ctlWizRecipients::NewRecipientList);
    connect(ui->cmdDelete, &QPushButton::clicked, this, [this] {
        if (const int position = CheckedSelection())
            Q_EMIT DeleteRecipientList(position);
    });
    connect(ui->cmdEdit, &QPushButton::clicked, this, [this] {
        if (const int position = CheckedSelection())
            Q_EMIT EditRecipientList(position);
    });
    const auto import = [this] {
        if (const int position = CheckedSelection()) {
            Q_EMIT ImportRecipientList(position);
            QCoreApplication::processEvents();
        }
    };
    connect(ui->cmdImport, &QPushButton::clicked, this, import);
    connect(ui->lstRecipients, &QListWidget::itemDoubleClicked, this, import);
    connect(ui->cmdFilterRecipients, &QPushButton::clicked, this,
            &ctlWizRecipients::cmdFilterRecipients_Click);
}

ctlWizRecipients::~ctlWizRecipients() = default;

void ctlWizRecipients::PopulateList()
{
    ui->lstRecipients->clear();
    if (!m_lists)
        return;
    for (const auto& list : *m_lists)
        ui->lstRecipients->addItem(list->ListName());
}

int ctlWizRecipients::SelectedRecipientList() const
{
    const auto selected = ui->lstRecipients->selectedItems();
    return selected.isEmpty() ? 0 : ui->lstRecipients->row(selected.first()) + 1;
}

void ctlWizRecipients::SetSelectedRecipientList(int position)
{
    ui->lstRecipients->setCurrentRow(position - 1);
}

int ctlWizRecipients::CheckedSelection()
{
    if (ui->lstRecipients->count() == 0) {
        MsgNewRecipientList();
        return 0;
    }
    const int position = SelectedRecipientList();
    if (position == 0)
        MsgSelectRecipientList();
    return position;
}

void ctlWizRecipients::cmdFilterRecipients_Click()
{
    if (!m_lists || m_lists->CurrentIndex() < 1) {
        MsgImportRecipientList();
        return;
    }
    SetSelectedRecipientList(m_lists->CurrentIndex());
    Q_EMIT FilterRecipients();
    ui->cmdFilterRecipients->setFocus();
}

void ctlWizRecipients::ShowMessage(QWidget* target, int textId, int icon, int x, int y)
{
    const QString text = LoadResString(textId);
    m_balloon->ShowBalloonTip(target, Texts::BalloonTitle(text), Texts::BalloonBody(text), icon, x,
                              y);
}

void ctlWizRecipients::MsgNewRecipientList()
{
    ShowMessage(ui->cmdNew, 401, ctlBalloonTip::IconInfo);
}

void ctlWizRecipients::MsgSelectRecipientList()
{
    // Into the list, a little in from its side; kept on the list when it is
    // wider than tall.
    const int y =
        qMin(ui->lstRecipients->width() - 315 / TwipsPerPixel, ui->lstRecipients->height() - 1);
    ShowMessage(ui->lstRecipients, 402, ctlBalloonTip::IconInfo, 0, qMax(0, y));
}

void ctlWizRecipients::MsgImportRecipientList()
{
    ShowMessage(ui->cmdImport, 403, ctlBalloonTip::IconInfo);
}

void ctlWizRecipients::MsgImportError(const QString& description)
{
    m_balloon->ShowBalloonTip(ui->cmdImport, LoadResString(5), description,
                              ctlBalloonTip::IconError);
}

void ctlWizRecipients::MsgLastsavedWithFilters()
{
    ShowMessage(ui->cmdFilterRecipients, 404, ctlBalloonTip::IconInfo);
}

bool ctlWizRecipients::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->lstRecipients->viewport() && event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QListWidgetItem* item = ui->lstRecipients->itemAt(help->pos());
        const QWidget* viewport = ui->lstRecipients->viewport();
        if (item && viewport->fontMetrics().horizontalAdvance(item->text()) > viewport->width()) {
            QToolTip::showText(help->globalPos(), item->text(), ui->lstRecipients);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
