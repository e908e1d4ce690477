#pragma once

#include "controls/ProgressForm.h"

#include <memory>

namespace Ui {
class frmMergingPreview;
}

// The progress of the merge for the Preview step, with Cancel.
class frmMergingPreview : public ProgressForm
{
    Q_OBJECT

public:
    explicit frmMergingPreview(QWidget* owner);
    ~frmMergingPreview() override;

private:
    std::unique_ptr<Ui::frmMergingPreview> ui;
};
