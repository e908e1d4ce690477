// A send run through the Send step of the real window, offscreen: the rate
// from the confirmation to the summary, how the time per failure holds up
// as the error grid grows, and how soon Cancel gives the window back when
// the server has gone silent.
//   bench_send_window --port P [--rows 20000] [--refuse-every 2]
//                                               mails to a server on 127.0.0.1:P
//   bench_send_window --silent [--rows 100]     Cancel against a silent server
#include "WindowBench.h"
#include "controls/Dialogs.h"
#include "delivery/MailConfiguration.h"
#include "merge/Mails.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTcpServer>
#include <QTimer>
#include <cstdio>
#include <vector>

using namespace WindowBench;

namespace {

template <typename T> T* Child(QWidget* window, const char* name)
{
    return window->findChild<T*>(QLatin1String(name));
}

// Imports, composes, merges and shows the Send step.
void ReachSendStep(frmMain& window)
{
    window.ImportRecipientList(1);
    auto* tabs = Child<QTabBar>(&window, "tabMain");
    tabs->setCurrentIndex(1);
    QCoreApplication::processEvents();
    Child<QComboBox>(&window, "cboComposeFrom")->setCurrentIndex(0);
    Child<QComboBox>(&window, "cboComposeTo")->setCurrentIndex(3);
    Child<QLineEdit>(&window, "txtComposeSubject")->setText(QString::fromUtf8("News for «City»"));
    Child<QPlainTextEdit>(&window, "txtComposeTextBody")
        ->setPlainText(QString::fromUtf8("Dear «FirstName» «LastName»,\nthe news of the week.\n"));
    tabs->setCurrentIndex(2);
    QCoreApplication::processEvents();
    tabs->setCurrentIndex(3);
    QCoreApplication::processEvents();
}

// Clicks Send E-mails and confirms; returns once the run is over.
void Send(frmMain& window)
{
    QTimer confirm;
    QObject::connect(&confirm, &QTimer::timeout, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            confirm.stop();
            Child<QPushButton>(dialog, "cmdSendEMails")->click();
        }
    });
    confirm.start(5);
    Child<QPushButton>(Child<QWidget>(&window, "ctlWizSend"), "cmdSendEMails")->click();
}

double Average(const std::vector<qint64>& stamps, size_t from, size_t to)
{
    if (to <= from + 1 || to > stamps.size())
        return 0;
    return double(stamps[to - 1] - stamps[from]) / 1e6 / double(to - from - 1);
}

} // namespace

int main(int argc, char* argv[])
{
    Run run(argc, argv);
    QApplication app(argc, argv);
    Dialogs::SetScripted(true); // the summary is answered with No
    int port = 0;
    bool silent = false;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--port") == 0 && i + 1 < argc)
            port = QByteArray(argv[i + 1]).toInt();
        silent = silent || qstrcmp(argv[i], "--silent") == 0;
    }
    // A server that takes connections and never says a word.
    QTcpServer quiet;
    if (silent) {
        quiet.listen(QHostAddress::LocalHost);
        port = quiet.serverPort();
    }
    if (port <= 0 || !run.Prepare()) {
        std::fprintf(stderr, "usage: bench_send_window --port P | --silent [--rows N]\n");
        return 2;
    }
    MailConfiguration settings;
    settings.SetSMTPServer(QStringLiteral("127.0.0.1"));
    settings.SetSMTPServerPort(qint16(quint16(port)));
    settings.SetSMTPConnectionTimeout(1200);
    settings.Save();

    frmMain window;
    ShowAtBenchSize(window);
    ReachSendStep(window);
    Mails* mails = window.mobjMails();
    if (!mails || window.CurrentStep() != 4) {
        std::fprintf(stderr, "the Send step was not reached\n");
        return 1;
    }

    if (silent) {
        QElapsedTimer sinceCancel;
        QTimer::singleShot(1000, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == QLatin1String("frmSendingEMails") && w->isVisible()) {
                    sinceCancel.start();
                    Child<QPushButton>(w, "cmdCancel")->click();
                }
        });
        Send(window);
        std::printf(
            "silent server: Cancel to a usable window  %.0f ms (%d mails handled, window %s)\n",
            sinceCancel.isValid() ? Ms(sinceCancel) : -1.0, window.MailsHandled(),
            window.isEnabled() ? "enabled" : "still disabled");
        return 0;
    }

    std::vector<qint64> failures;
    QElapsedTimer clock;
    QObject::connect(mails, &Mails::SendErr, [&] { failures.push_back(clock.nsecsElapsed()); });
    clock.start();
    Send(window);
    const double seconds = Ms(clock) / 1000.0;
    std::printf("Send step    %6d mails in %6.2f s: %8.0f mails/s\n", window.MailsHandled(),
                seconds, window.MailsHandled() / seconds);
    if (failures.size() >= 2000) {
        const double first = Average(failures, 0, 1000);
        const double last = Average(failures, failures.size() - 1000, failures.size());
        std::printf("failures     %zu; time per failure, first thousand %.3f ms, last thousand "
                    "%.3f ms (%+.0f%%)\n",
                    failures.size(), first, last, 100.0 * (last - first) / first);
    }
    Child<QPlainTextEdit>(&window, "txtComposeTextBody")->clear();
    return 0;
}
