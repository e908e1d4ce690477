#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>

class QAbstractItemView;
class QWidget;

// Keeps files from being dragged out of the attachment lists of the Compose
// and Preview steps (lvwComposeAttach, lvwPreviewAttach) below a window.
// Other lists are not touched, and clicking and selecting work as before.
//
// Each object keeps its own hooked window, so two windows can be hooked by
// two objects at the same time; hooking another window with the same object
// unhooks the first.
class ListViewHook : public QObject
{
    Q_OBJECT

public:
    explicit ListViewHook(QObject* parent = nullptr);
    ~ListViewHook() override;

    // The lists must exist below the window when it is hooked.
    void Hook(QWidget* window);
    // Harmless when not hooked.
    void UnHook();

    bool IsHooked() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct List
    {
        QPointer<QAbstractItemView> view;
        QPointer<QWidget> viewport;
    };
    QList<List> m_lists;
    bool m_hooked = false;
    QPointer<QObject> m_pressedOn;
    QPoint m_pressPos;
};
