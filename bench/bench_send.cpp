// Figures for the send run on this machine: many small mails to an SMTP
// sink, and the memory one 50 MB attachment takes. scripts/bench-send.sh
// starts the sink (directly or behind a delaying proxy) and runs this beside
// other clients.
//
//   bench_send --port P [--count N] [--connections C] [--refuse-every K] [--label L]
//       mails per second for N small mails over up to C connections; with K,
//       every K-th mail goes to refused-<n>@example.org, for a server that
//       refuses those (its refusals are expected, not failures)
//   bench_send --port P --big MB        peak memory while sending MB of attachment
//   ... --journal                       the run keeps a send journal, as the Send step does
//   bench_send --journal-find N         a journal of N mails (one in 100 not sent): its
//                                       size, and the time to open it and list the unsent

#include "MemoryProbe.h"
#include "delivery/MailConfiguration.h"
#include "delivery/MailSender.h"
#include "delivery/SendJournal.h"
#include "merge/Mails.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

using MemoryProbe::StatusKb;
using MemoryProbe::ResetPeak;

namespace {

QString ArgAfter(const QStringList& args, const QString& name, const QString& fallback = QString())
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : fallback;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int port = ArgAfter(args, QStringLiteral("--port")).toInt();
    const int count = ArgAfter(args, QStringLiteral("--count"), QStringLiteral("20000")).toInt();
    const int bigMb = ArgAfter(args, QStringLiteral("--big"), QStringLiteral("0")).toInt();
    const int connections = ArgAfter(args, QStringLiteral("--connections"), QStringLiteral("1")).toInt();
    const int refuseEvery = ArgAfter(args, QStringLiteral("--refuse-every"), QStringLiteral("0")).toInt();
    const QString label = ArgAfter(args, QStringLiteral("--label"), QStringLiteral("corvanta %1 conn").arg(connections));
    const bool journaled = args.contains(QStringLiteral("--journal"));
    if (const int mailCount = ArgAfter(args, QStringLiteral("--journal-find"), QStringLiteral("0")).toInt();
        mailCount > 0) {
        QTemporaryDir dir;
        const QByteArray digest(32, 'd');
        QString path;
        {
            SendJournal journal(dir.path(), digest, mailCount);
            journal.StartRun(QDateTime::currentDateTime());
            for (int i = 1; i <= mailCount; ++i) {
                if (i % 100 == 0)
                    continue;
                journal.Handing(i);
                journal.Ended(i, QString());
            }
            path = journal.FileName();
        }
        const qint64 size = QFileInfo(path).size();
        QElapsedTimer timer;
        timer.start();
        const SendJournal journal(dir.path(), digest, mailCount);
        const std::vector<int> unsent = journal.Positions(SendJournal::State::NotSent);
        std::printf("journal of %d mails: %lld bytes (%.1f per mail), opened and %zu unsent found in %.3f s\n",
                    mailCount, size, double(size) / mailCount, unsent.size(), timer.nsecsElapsed() / 1e9);
        return unsent.size() == static_cast<std::size_t>(mailCount / 100) ? 0 : 1;
    }
    if (port <= 0) {
        std::fprintf(stderr, "usage: bench_send --port P [--count N] [--big MB]\n");
        return 2;
    }

    QTemporaryDir dir;
    {
        MailConfiguration configuration(QString(), dir.path() + u'/');
        configuration.SetSendUsingMethod(MailDeliverySettings::Port);
        configuration.SetSMTPServer(QStringLiteral("127.0.0.1"));
        configuration.SetSMTPServerPort(static_cast<qint16>(port));
        configuration.SetSMTPMaxConnections(static_cast<qint16>(connections));
        configuration.Save();
    }
    const auto sender = std::make_shared<const FromAddress>(QStringLiteral("Bench Sender"),
                                                            QStringLiteral("sender@example.com"), QString());

    Mails mails;
    int failures = 0;
    int refusals = 0;
    QString firstFailure;
    QObject::connect(&mails, &Mails::SendErr, [&](const QString& description, const QString& to) {
        if (to.startsWith(QLatin1String("refused-"))) {
            ++refusals;
            return;
        }
        if (failures++ == 0)
            firstFailure = description;
    });
    MailSender run(mails);
    run.SetConfigurationFolder(dir.path() + u'/');

    if (bigMb > 0) {
        const QString path = dir.filePath(QStringLiteral("big.bin"));
        {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly))
                return 1;
            QByteArray chunk(1024 * 1024, Qt::Uninitialized);
            for (int i = 0; i < bigMb; ++i) {
                QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(chunk.data()),
                                                      chunk.size() / 4);
                file.write(chunk);
            }
        }
        mails.Add(sender, QStringLiteral("big@example.org"), QStringLiteral("Big attachment"),
                  QStringLiteral("See the attachment.\n"), path);
        const qint64 before = StatusKb("VmRSS");
        ResetPeak();
        QElapsedTimer timer;
        timer.start();
        mails.SetKeepSending(true);
        run.Send();
        const qint64 peak = StatusKb("VmHWM");
        std::printf("corvanta  %d MB attachment: %.2f s, peak %.1f MB (%.1f MB above the %.1f MB before)%s\n",
                    bigMb, timer.elapsed() / 1000.0, peak / 1024.0, (peak - before) / 1024.0,
                    before / 1024.0, failures ? " FAILED" : "");
    } else {
        const QString body = QStringLiteral("Dear reader,\n\nthis is a short mail of a few lines, "
                                            "as a mail merge sends them.\n\nRegards\n");
        for (int i = 1; i <= count; ++i) {
            const bool refused = refuseEvery > 0 && i % refuseEvery == 0;
            mails.Add(sender, QStringLiteral("%1%2@example.org").arg(refused ? "refused-" : "r").arg(i),
                      QStringLiteral("Hello %1").arg(i), body, QString());
        }
        QElapsedTimer timer;
        timer.start();
        // As the Send step: the mailing's digest, its journal, the run.
        std::unique_ptr<SendJournal> journal;
        if (journaled) {
            journal = std::make_unique<SendJournal>(dir.path(), SendJournal::Digest(mails, "bench"), count);
            run.SetJournal(journal.get());
        }
        mails.SetKeepSending(true);
        run.Send();
        journal.reset();
        const double seconds = timer.nsecsElapsed() / 1e9;
        std::printf("%-26s %6d mails in %7.2f s: %8.0f mails/s  (%d refused as planned, %d failed)\n",
                    qPrintable(label), count, seconds, count / seconds, refusals, failures);
    }
    if (failures)
        std::printf("  first failure: %s\n", qPrintable(firstFailure));
    return failures ? 1 : 0;
}
