#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class frmAbout;
}

// The about box: the product, its version and description, links to the
// maker's site and mail address, and the system information.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget* parent = nullptr);
    ~frmAbout() override;

    // Shows what the program runs on in a window of its own.
    void StartSysInfo();

private:
    std::unique_ptr<Ui::frmAbout> ui;
};
