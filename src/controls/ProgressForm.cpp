#include "controls/ProgressForm.h"

#include "base/Texts.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace {

// How often a running count is drawn.
constexpr qint64 RedrawMs = 40;

} // namespace

ProgressForm::ProgressForm(QWidget* owner) : QDialog(owner)
{
    setModal(false);
}

void ProgressForm::Attach(QProgressBar* bar, QLabel* count, QPushButton* cancel, int countTextId)
{
    m_bar = bar;
    m_count = count;
    m_countTextId = countTextId;
    cancel->setText(LoadResString(4));
    connect(cancel, &QPushButton::clicked, this, &ProgressForm::cmdCancel_Click);
}

void ProgressForm::SetMaximum(int count)
{
    m_maximum = count;
    m_bar->setRange(0, qMax(count, 1));
    m_bar->setValue(0);
    ShowCount(0);
}

void ProgressForm::SetPosition(int index)
{
    if (index > m_maximum)
        return;
    if (index == m_maximum)
        m_done = true;
    if (m_done || !m_shown.isValid() || m_shown.elapsed() >= RedrawMs) {
        m_bar->setValue(index);
        ShowCount(index);
    }
}

void ProgressForm::ShowCount(int index)
{
    m_count->setText(LoadResString(m_countTextId)
                         .replace(QLatin1String("#ITEM#"), QString::number(index))
                         .replace(QLatin1String("#MAX#"), QString::number(m_maximum)));
    m_shown.start();
}

void ProgressForm::cmdCancel_Click()
{
    Q_EMIT Stop();
    QCoreApplication::processEvents();
    Finish();
}

void ProgressForm::Finish()
{
    m_done = true;
    close();
}

void ProgressForm::closeEvent(QCloseEvent* event)
{
    if (!m_done)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void ProgressForm::keyPressEvent(QKeyEvent* event)
{
    // Escape would reject the dialog behind the run's back.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}
