#include "senders/frmFormatFromEMail.h"

#include "base/Texts.h"
#include "controls/modForms.h"
#include "senders/FromAddresses.h"
#include "senders/frmFormatFromEMailAdd.h"
#include "ui_frmFormatFromEMail.h"

#include <QComboBox>

namespace {

void FillSenderBox(QComboBox* box, const FromAddresses& book)
{
    box->clear();
    for (const FromAddress& sender : book)
        box->addItem(sender.GetPreviewEMailAddress());
}

} // namespace

frmFormatFromEMail::frmFormatFromEMail(QWidget* owner, FromAddresses& book)
    : QDialog(owner), ui(std::make_unique<Ui::frmFormatFromEMail>()), m_book(book)
{
    ui->setupUi(this);
    setWindowTitle(LoadResString(3000));
    ui->lblHeader->setText(LoadResString(3001));
    ui->cmdAdd->setText(LoadResString(3002));
    ui->cmdRemove->setText(LoadResString(3003));
    ui->cmdEdit->setText(LoadResString(3004));
    ui->cmdFinish->setText(LoadResString(3));
    ui->lvwFromAddresses->setHeaderLabels({LoadResString(3005) + QStringLiteral("  "),
                                           LoadResString(3006) + QStringLiteral("  "),
                                           LoadResString(3007) + QStringLiteral("  ")});
    connect(ui->cmdAdd, &QPushButton::clicked, this, &frmFormatFromEMail::cmdAdd_Click);
    connect(ui->cmdEdit, &QPushButton::clicked, this, &frmFormatFromEMail::cmdEdit_Click);
    connect(ui->cmdRemove, &QPushButton::clicked, this, &frmFormatFromEMail::cmdRemove_Click);
    connect(ui->cmdFinish, &QPushButton::clicked, this, &QDialog::accept);
    modForms::ApplyFonts(this);
    modForms::InstallHelpKey(this);
    FillList();
}

frmFormatFromEMail::~frmFormatFromEMail() = default;

bool frmFormatFromEMail::FormatEMail(QWidget* owner, QComboBox* senderBox, FromAddresses& book)
{
    const FromAddresses before = book;
    const int boxRow = senderBox->currentIndex();
    frmFormatFromEMail dialog(owner, book);
    if (boxRow >= 0)
        dialog.SelectRow(boxRow + 1);
    const bool finished = dialog.exec() == QDialog::Accepted;
    const bool changed = !(book == before);
    if (finished) {
        FillSenderBox(senderBox, book);
        senderBox->setCurrentIndex(dialog.SelectedRow() - 1);
    } else if (changed) {
        FillSenderBox(senderBox, book);
        int keep = -1;
        if (boxRow >= 0 && boxRow < before.Count()) {
            const FromAddress& shown = before.Item(boxRow + 1);
            for (int i = 1; i <= book.Count() && keep < 0; ++i)
                if (book.Item(i) == shown)
                    keep = i - 1;
        }
        senderBox->setCurrentIndex(keep);
    }
    return changed;
}

void frmFormatFromEMail::FillList()
{
    ui->lvwFromAddresses->clear();
    for (const FromAddress& sender : m_book)
        new QTreeWidgetItem(ui->lvwFromAddresses,
                            {sender.Name(), sender.EMailAddress(), sender.ReplyEMailAddress()});
    modForms::AutoSizeColumns(ui->lvwFromAddresses);
}

int frmFormatFromEMail::SelectedRow() const
{
    const auto selected = ui->lvwFromAddresses->selectedItems();
    return selected.isEmpty() ? 0 : ui->lvwFromAddresses->indexOfTopLevelItem(selected.first()) + 1;
}

void frmFormatFromEMail::SelectRow(int row)
{
    if (QTreeWidgetItem* item = ui->lvwFromAddresses->topLevelItem(row - 1))
        ui->lvwFromAddresses->setCurrentItem(item);
}

void frmFormatFromEMail::cmdAdd_Click()
{
    const int before = m_book.Count();
    frmFormatFromEMailAdd::Add(this, m_book);
    FillList();
    if (m_book.Count() > before)
        SelectRow(m_book.Count());
}

void frmFormatFromEMail::cmdEdit_Click()
{
    const int row = SelectedRow();
    if (row == 0)
        return;
    frmFormatFromEMailAdd::Edit(this, m_book.Item(row));
    FillList();
    SelectRow(row);
}

void frmFormatFromEMail::cmdRemove_Click()
{
    const int row = SelectedRow();
    if (row == 0)
        return;
    m_book.Remove(row);
    FillList();
}
