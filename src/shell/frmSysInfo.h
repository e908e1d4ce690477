#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class frmSysInfo;
}

// What the program runs on (the versions of its components and its data
// folder), with a button that copies it all as text for a support request.
class frmSysInfo : public QDialog
{
    Q_OBJECT

public:
    explicit frmSysInfo(QWidget* parent = nullptr);
    ~frmSysInfo() override;

    // The list as plain text, "name: value" a line; Copy puts it on the
    // clipboard.
    QString Text() const;

private:
    std::unique_ptr<Ui::frmSysInfo> ui;
};
