#include "controls/DropDownList.h"

void DropDownList::showPopup()
{
    if (count() == 0) {
        Q_EMIT EmptyDropDown();
        return;
    }
    QComboBox::showPopup();
}
