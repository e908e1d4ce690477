#pragma once

#include <QComboBox>

// The database box of the SQL Server page: it asks to be filled each time
// it is about to drop down, by mouse or key, so the list is the server's
// list of that moment.
class ctlDatabaseComboBox : public QComboBox
{
    Q_OBJECT

public:
    using QComboBox::QComboBox;

    void showPopup() override
    {
        Q_EMIT DropDown();
        // Filling may wait with events running; the window may be gone.
        if (isVisible())
            QComboBox::showPopup();
    }

Q_SIGNALS:
    void DropDown();
};
