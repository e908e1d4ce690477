#pragma once

#include <QList>
#include <QPointer>

class QWidget;

// Makes a modeless window behave as modal for the rest of the program: the
// other windows are disabled while it is up, and enabled again afterwards.
class FormHandler
{
public:
    FormHandler() = default;
    ~FormHandler();

    FormHandler(const FormHandler&) = delete;
    FormHandler& operator=(const FormHandler&) = delete;

    // true: disables every other visible, enabled window and remembers it.
    // false: enables the remembered windows again (those still alive).
    void MakeModalForm(QWidget* window, bool modal);

private:
    QList<QPointer<QWidget>> m_disabled;
};
