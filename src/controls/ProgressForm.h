#pragma once

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QPushButton;

// What the merging and the sending progress windows share: a bar, an
// "n of max" count and Cancel. The window cannot be closed until it is done
// (the last item reached, or cancelled). Positions come once per item, a
// million of them in a large run, so the bar and the count are drawn at most
// every few hundredths of a second and always at the end.
class ProgressForm : public QDialog
{
    Q_OBJECT

public:
    void SetMaximum(int count);
    void SetPosition(int index);
    int Maximum() const { return m_maximum; }
    bool Done() const { return m_done; }

    // Closes the window for good.
    void Finish();

Q_SIGNALS:
    // Cancel was clicked: the run must stop before its next item.
    void Stop();

protected:
    explicit ProgressForm(QWidget* owner);
    // The window's own widgets, once its layout is built; countTextId is
    // the "#ITEM# of #MAX#" text.
    void Attach(QProgressBar* bar, QLabel* count, QPushButton* cancel, int countTextId);
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowCount(int index);
    void cmdCancel_Click();

    QProgressBar* m_bar = nullptr;
    QLabel* m_count = nullptr;
    int m_countTextId = 0;
    int m_maximum = 0;
    bool m_done = false;
    QElapsedTimer m_shown;
};
