#pragma once

#include "shell/HelpPages.h"

#include <QWidget>
#include <memory>

namespace Ui {
class frmShowHelp;
}
class QTextBrowser;

// The help window: the page for a help context in a browser that fills the
// window. There is one; a new request moves it and shows the new page.
class frmShowHelp : public QWidget
{
    Q_OBJECT

public:
    ~frmShowHelp() override;

    // The one help window, made on first use.
    static frmShowHelp* Instance();
    // The help window when there is one, else null.
    static frmShowHelp* Existing();

    // Shows the page for the context with the window's outer frame at
    // `frame`, owned by `owner` (kept above it and usable while it is modal).
    void ShowHelp(const HelpPages::Context& context, const QRect& frame, QWidget* owner);

    // The help address last asked for, and the page shown for it.
    QString Address() const { return m_address; }
    QUrl Page() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    frmShowHelp();
    void SetOwner(QWidget* owner);
    void ShowTitle();

    std::unique_ptr<Ui::frmShowHelp> ui;
    QString m_address;
};
