#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class frmFormatFromEMail;
}
class FromAddresses;
class QComboBox;

// The sender address book dialog: lists the book and offers Add, Edit and
// Remove, changing the book in place.
class frmFormatFromEMail : public QDialog
{
    Q_OBJECT

public:
    // Shows the book modally over the owner. Finish refills the sender box
    // and selects the row selected in the list. Closing the window otherwise
    // leaves the box as it was, unless the book changed meanwhile: then the
    // box is refilled so that it never names another sender than the one at
    // its position, keeping its sender selected while it is still there.
    // Returns whether the book changed.
    static bool FormatEMail(QWidget* owner, QComboBox* senderBox, FromAddresses& book);

    ~frmFormatFromEMail() override;

private:
    frmFormatFromEMail(QWidget* owner, FromAddresses& book);
    void FillList();
    int SelectedRow() const; // 1-based, 0 when none
    void SelectRow(int row);
    void cmdAdd_Click();
    void cmdEdit_Click();
    void cmdRemove_Click();

    std::unique_ptr<Ui::frmFormatFromEMail> ui;
    FromAddresses& m_book;
};
