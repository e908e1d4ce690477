#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class ctlMainSteps;
}

// The step bar under the main window's steps: "Step n of 4" and links to
// the previous and the next step. It only shows where the user is and
// reports a click; the main window decides whether the move is allowed.
class ctlMainSteps : public QWidget
{
    Q_OBJECT

public:
    explicit ctlMainSteps(QWidget* parent = nullptr);
    ~ctlMainSteps() override;

    // step is 1-based; step 1 has no previous link, the last step no next one.
    void UpdateSteps(int step, int count);

    // The name of a step (1 to 4) as the bar and the tab balloons say it.
    static QString StepName(int step);

Q_SIGNALS:
    void PreviousClick();
    void NextClick();

private:
    std::unique_ptr<Ui::ctlMainSteps> ui;
};
