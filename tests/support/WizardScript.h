#pragma once

#include "MainWindowSetup.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTableView>
#include <QTreeWidget>

// Driving the New Recipient List wizard by a script of user actions.
namespace TestSupport {

inline QString Page(QWidget* wizard)
{
    return Find<QStackedWidget>(wizard, "fraPages")->currentWidget()->metaObject()->className();
}

// Finds a control on the page shown, else on the window (the buttons).
inline QWidget* Control(QWidget* wizard, const QString& name)
{
    auto* pages = Find<QStackedWidget>(wizard, "fraPages");
    if (QWidget* found = pages->currentWidget()->findChild<QWidget*>(name))
        return found;
    QWidget* button = wizard->findChild<QWidget*>(name);
    return button && !pages->isAncestorOf(button) ? button : nullptr;
}

inline QString ValueOf(QWidget* control)
{
    if (auto* box = qobject_cast<QLineEdit*>(control))
        return box->text();
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return button->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    if (auto* combo = qobject_cast<QComboBox*>(control))
        return combo->currentText();
    if (auto* grid = qobject_cast<QTableView*>(control))
        return QString::number(grid->model()->rowCount()) + u'x' +
               grid->model()->headerData(0, Qt::Horizontal).toString();
    return QStringLiteral("?");
}

// One user action: "name=value" types into a box or picks an entry of a
// list; "name" clicks; "name>Key" presses a key on it; "?name=value" checks a control; "@link=path"
// answers the connection dialog with the SQLite driver and that database; "@open=path"
// answers the next file dialog, "@rm=path" removes a file
// meanwhile.
inline void Act(QWidget* wizard, QString step)
{
    if (step.startsWith(u"@open=")) {
        // The answer of the next file dialog; empty: cancelled.
        Dialogs::QueueAnswer(step.mid(6));
        return;
    }
    if (step.startsWith(u"@rm=")) {
        QVERIFY(QFile::remove(step.mid(4)));
        return;
    }
    if (step.startsWith(u"@link=")) {
        const QString database = step.mid(6);
        WhenModal(
            [database](QWidget* dialog) {
                Find<QRadioButton>(dialog, "optDriver")->click();
                auto* drivers = Find<QComboBox>(dialog, "cboDriver");
                drivers->setCurrentIndex(drivers->findText(QStringLiteral("SQLite3")));
                Find<QLineEdit>(dialog, "txtDatabase")->setText(database);
                Find<QPushButton>(dialog, "cmdOK")->click();
            },
            wizard);
        step = QStringLiteral("cmdConnectionString");
    }
    if (step.contains(u'>')) {
        // "name>Key": the control takes the focus and the key.
        QWidget* control = Control(wizard, step.section(u'>', 0, 0));
        QVERIFY(control);
        QApplication::setActiveWindow(wizard);
        control->setFocus(Qt::TabFocusReason);
        QTest::keyClick(control, QKeySequence(step.section(u'>', 1))[0].key());
        return;
    }
    const bool check = step.startsWith(u'?');
    const QString name = step.section(u'=', 0, 0).remove(u'?');
    const QString value = step.section(u'=', 1);
    QWidget* control = Control(wizard, name);
    QVERIFY2(control, qPrintable(QStringLiteral("no %1 on %2").arg(name, Page(wizard))));
    if (check) {
        QCOMPARE(ValueOf(control), value);
    } else if (!step.contains(u'=')) {
        QVERIFY2(control->isEnabled(), qPrintable(name + QStringLiteral(" is disabled")));
        qobject_cast<QAbstractButton*>(control)->click();
    } else if (auto* box = qobject_cast<QLineEdit*>(control)) {
        box->setText(value);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        combo->setCurrentText(value);
    } else if (auto* list = qobject_cast<QListWidget*>(control)) {
        const auto found = list->findItems(value, Qt::MatchExactly);
        QVERIFY2(!found.isEmpty(), qPrintable(value + QStringLiteral(" not listed")));
        list->setCurrentItem(found.first());
    } else if (auto* view = qobject_cast<QTreeWidget*>(control)) {
        const auto found = view->findItems(QStringLiteral("    ") + value, Qt::MatchExactly);
        QVERIFY2(!found.isEmpty(), qPrintable(value + QStringLiteral(" not listed")));
        view->setCurrentItem(found.first());
    }
}

// Acts out the steps in order, until one fails or the wizard closes.
inline void Run(QWidget* wizard, const QStringList& steps)
{
    for (const QString& step : steps) {
        Act(wizard, step);
        if (QTest::currentTestFailed() || !wizard->isVisible())
            return;
    }
}

} // namespace TestSupport
