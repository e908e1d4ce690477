#pragma once

#include <QObject>

// Relays a click on the main window's step tabs back into the window.
//
// The window must listen with a queued connection (use ConnectTabClick):
// the step rules then run after the tab bar has finished its own click
// handling, so re-selecting another tab from inside them is safe.
class Callback : public QObject
{
    Q_OBJECT

public:
    explicit Callback(QObject* parent = nullptr);

    void RaiseTabClick(int index);

    // Connects TabClick to a receiver's slot or functor, queued.
    template <typename Receiver, typename Slot>
    QMetaObject::Connection ConnectTabClick(const Receiver* receiver, Slot slot)
    {
        return connect(this, &Callback::TabClick, receiver, slot, Qt::QueuedConnection);
    }

Q_SIGNALS:
    void TabClick(int index);
};
