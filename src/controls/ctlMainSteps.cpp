#include "controls/ctlMainSteps.h"

#include "base/Texts.h"
#include "ui_ctlMainSteps.h"

ctlMainSteps::ctlMainSteps(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::ctlMainSteps>())
{
    ui->setupUi(this);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    ui->lnkPrevious->SetBackColor(Qt::white);
    ui->lnkNext->SetBackColor(Qt::white);
    ui->lnkPrevious->SetIconName(QStringLiteral("ICO_PREVIOUS"), ctlLink::IconSide::BeforeText);
    ui->lnkNext->SetIconName(QStringLiteral("ICO_NEXT"), ctlLink::IconSide::AfterText);
    connect(ui->lnkPrevious, &ctlLink::Click, this, &ctlMainSteps::PreviousClick);
    connect(ui->lnkNext, &ctlLink::Click, this, &ctlMainSteps::NextClick);
}

ctlMainSteps::~ctlMainSteps() = default;

QString ctlMainSteps::StepName(int step)
{
    switch (step) {
    case 1:
        return LoadResString(2903);
    case 2:
        return LoadResString(2901);
    case 3:
        return LoadResString(2902);
    case 4:
        return LoadResString(2904);
    }
    return {};
}

void ctlMainSteps::UpdateSteps(int step, int count)
{
    ui->lblStep->setText(LoadResString(2907)
                             .replace(QLatin1String("#ITEM#"), QString::number(step))
                             .replace(QLatin1String("#COUNT#"), QString::number(count)));
    ui->lnkPrevious->SetText(LoadResString(2906) + u' ' + StepName(step - 1));
    ui->lnkNext->SetText(LoadResString(2905) + u' ' + StepName(step + 1));
    // Hidden links keep their room so the label stays in the middle.
    QSizePolicy keep = ui->lnkPrevious->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    ui->lnkPrevious->setSizePolicy(keep);
    ui->lnkNext->setSizePolicy(keep);
    ui->lnkPrevious->setVisible(step > 1);
    ui->lnkNext->setVisible(step < count);
}
