// Entering the Preview step with a large import, through the real window
// offscreen: the time until the first merged mail is shown (the merge runs
// under its progress window), and the time to show the last mail.
//   bench_preview [--rows 1000000]
#include "MemoryProbe.h"
#include "WindowBench.h"
#include "merge/Mails.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QToolButton>
#include <cstdio>

using namespace WindowBench;

namespace {

// About 1 KB of text with five markers.
QString Body()
{
    QString body = QString::fromUtf8("Dear «FirstName» «LastName»,\n\n");
    const QString filler =
        QStringLiteral("This paragraph stands for the ordinary text of a newsletter. ");
    while (body.size() < 900)
        body += filler;
    body +=
        QString::fromUtf8("\n\nWe will write to «EMail» about «City».\nYour company: «Company»\n");
    return body;
}

} // namespace

int main(int argc, char* argv[])
{
    Run run(argc, argv);
    QApplication app(argc, argv);
    if (!run.Prepare())
        return 1;

    frmMain window;
    ShowAtBenchSize(window);
    window.ImportRecipientList(1);
    auto* tabs = window.findChild<QTabBar*>(QStringLiteral("tabMain"));
    tabs->setCurrentIndex(1);
    QCoreApplication::processEvents();
    window.findChild<QComboBox*>(QStringLiteral("cboComposeFrom"))->setCurrentIndex(0);
    window.findChild<QComboBox*>(QStringLiteral("cboComposeTo"))->setCurrentIndex(3);
    window.findChild<QLineEdit*>(QStringLiteral("txtComposeSubject"))
        ->setText(QStringLiteral("News"));
    auto* body = window.findChild<QPlainTextEdit*>(QStringLiteral("txtComposeTextBody"));
    body->setPlainText(Body());

    const qint64 beforeKb = MemoryProbe::StatusKb("VmRSS");
    QElapsedTimer timer;
    timer.start();
    tabs->setCurrentIndex(2);
    QCoreApplication::processEvents(); // the step change runs the merge
    auto* previewBody = window.findChild<QPlainTextEdit*>(QStringLiteral("txtPreviewTextBody"));
    previewBody->viewport()->repaint();
    const double firstMs = Ms(timer);
    const qint64 afterKb = MemoryProbe::StatusKb("VmRSS");

    timer.restart();
    window.findChild<QToolButton*>(QStringLiteral("cmdMoveLast"))->click();
    previewBody->viewport()->repaint();
    const double lastMs = Ms(timer);

    const int mails = window.mobjMails() ? window.mobjMails()->Count() : 0;
    std::printf("mails merged                 %d (step %d shown)\n", mails, window.CurrentStep());
    std::printf("to the first mail shown      %.0f ms\n", firstMs);
    std::printf("to the last mail shown       %.1f ms\n", lastMs);
    std::printf("memory the mails hold        %.0f bytes per mail\n",
                double(afterKb - beforeKb) * 1024.0 / qMax(1, mails));
    body->clear(); // nothing to ask about at exit
    return 0;
}
