#pragma once

#include <QMainWindow>

class QAction;
class QLabel;
class QMenu;
class QTabWidget;

// The program's main window: the four steps on a tab strip, the menus and
// the status bar.
class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit frmMain(QWidget* parent = nullptr);

    QTabWidget* tabMain() const { return m_tabMain; }

    // Second status bar panel: the number of imported recipients.
    void UpdateStatusbar();

private:
    void buildMenus();
    void buildSteps();
    void buildStatusbar();

    QTabWidget* m_tabMain = nullptr;
    QLabel* m_statusProgress = nullptr;
    QLabel* m_statusRecipients = nullptr;
    QMenu* m_mnuFile = nullptr;
    QAction* m_mnuFileOpenText = nullptr;
    QAction* m_mnuFileSaveText = nullptr;
    QAction* m_mnuFileSaveTextAs = nullptr;
    QAction* m_mnuFileSaveErrorReportAs = nullptr;
    QAction* m_mnuFileExit = nullptr;
};
