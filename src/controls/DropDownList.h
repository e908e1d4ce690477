#pragma once

#include <QComboBox>

// A drop-down list that tells when the user tries to open it while it has
// nothing to offer, so the window can say how to fill it.
class DropDownList : public QComboBox
{
    Q_OBJECT

public:
    using QComboBox::QComboBox;

    void showPopup() override;

Q_SIGNALS:
    void EmptyDropDown();
};
