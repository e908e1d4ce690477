#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class frmDataLink;
}
class ctlBalloonTip;

// Builds an ODBC connection string from the installed drivers and data
// sources: the user picks one, fills in the fields that kind of driver needs
// and may try the connection before taking it.
class frmDataLink : public QDialog
{
    Q_OBJECT

public:
    // Shows the dialog modally. A string of the form this dialog writes
    // ("Driver=..." or "DSN=...") fills the fields first. On OK the new string
    // replaces connectionString and the result is true.
    static bool Edit(QWidget* parent, QString& connectionString);

    ~frmDataLink() override;

    // Escape, Cancel and the close box: while a test runs, it is ended first.
    void reject() override;

private:
    explicit frmDataLink(QWidget* parent);

    void Prefill(const QString& connectionString);
    void ShowFields();
    QString ConnectionString() const;
    bool CheckInput();
    void cmdTest_Click();
    void cmdBrowse_Click();
    void cmdOK_Click();
    void SetTesting(bool testing);

    std::unique_ptr<Ui::frmDataLink> ui;
    ctlBalloonTip* m_balloon = nullptr;
    bool m_testing = false;
    bool m_closeAfterTest = false;
};
