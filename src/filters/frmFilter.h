#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class frmFilter;
}

// The filter dialog of the imported list. Until its rows are built it shows
// an empty frame whose only way out is Cancel.
class frmFilter : public QDialog
{
    Q_OBJECT

public:
    // Shows the dialog modally over the owner; true when a filter was
    // applied.
    static bool ShowFilter(QWidget* owner);

    ~frmFilter() override;

private:
    explicit frmFilter(QWidget* owner);

    std::unique_ptr<Ui::frmFilter> ui;
};
