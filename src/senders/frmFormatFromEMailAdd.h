#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class frmFormatFromEMailAdd;
}
class ctlBalloonTip;
class FromAddress;
class FromAddresses;

// The sender entry dialog: a name, a sender address (which must pass the
// program's address test) and an optional reply address.
class frmFormatFromEMailAdd : public QDialog
{
    Q_OBJECT

public:
    // Shows the dialog modally for a new entry, appended to the book on OK.
    // Returns whether it was added.
    static bool Add(QWidget* owner, FromAddresses& book);
    // Shows the dialog modally for the entry, changed in place on OK.
    // Returns whether it was changed.
    static bool Edit(QWidget* owner, FromAddress& entry);

    ~frmFormatFromEMailAdd() override;

private:
    frmFormatFromEMailAdd(QWidget* owner, FromAddresses* book, FromAddress* entry);
    void cmdOK_Click();

    std::unique_ptr<Ui::frmFormatFromEMailAdd> ui;
    ctlBalloonTip* m_balloon = nullptr;
    FromAddresses* m_book = nullptr; // set in Add mode
    FromAddress* m_entry = nullptr;  // set in Edit mode
};
