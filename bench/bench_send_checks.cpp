// Figures for the checks before sending: 1,000,000 merged mails (ten
// columns, a 1 KB body with markers, the address in To, one attachment),
// checked as the Send step does. Also the merge's own time with the empty
// fields noted, against the same merge before the checks existed (printed
// by bench_merge). Build in Release; run build-dir/bench/bench_send_checks.

#include "RecipientTable.h"
#include "delivery/SendChecks.h"
#include "merge/Mails.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <sys/resource.h>

#include <cstdio>

namespace {

// Processor time of this process: on a shared machine the wall clock also
// counts other programs' turns.
double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = 1000000;
    Recordset rs = OpenRecipientTable(QStringLiteral("Company"), 100);
    QVariantList row(10);
    for (int i = 0; i < rows; ++i) {
        row[0] = i;
        row[1] = i % 1000 == 0 ? QString() : QStringLiteral("First%1").arg(i % 5000);
        row[2] = QStringLiteral("Last%1").arg(i);
        // One in 10,000 malformed, one in 10,000 repeated.
        row[3] = i % 10000 == 1   ? QStringLiteral("user%1.example.org").arg(i)
                 : i % 10000 == 2 ? QStringLiteral("user%1@example.org").arg(i - 2)
                                  : QStringLiteral("user%1@example.org").arg(i);
        row[4] = QStringLiteral("City%1").arg(i % 9);
        row[5] = QStringLiteral("Company %1").arg(i % 300);
        row[6] = 18 + i % 70;
        row[7] = (i % 100000) / 100.0;
        row[8] = QDateTime(QDate(2000, 1, 1).addDays(i % 9000), QTime(i % 24, i % 60), Qt::UTC);
        row[9] = QStringLiteral("note %1").arg(i % 1000);
        rs.AppendRow(row);
    }
    const QString o(QChar(0x00AB)), c(QChar(0x00BB));
    const QString filler = QStringLiteral("We are writing to let you know about the changes to our "
                                          "service that take effect next month. ")
                               .repeated(8);
    const QString body = QStringLiteral("Dear ") + o + "FirstName" + c + u' ' + o + "LastName" + c +
                         ",\n\n" + filler + "\n\nYour branch in " + o + "City" + c + ".\n" + o +
                         "Company" + c + u'\n';
    const QString attachment = QDir::tempPath() + QStringLiteral("/bench_send_checks.pdf");
    QFile file(attachment);
    if (!file.open(QIODevice::WriteOnly) || file.write("x") != 1)
        return 1;
    file.close();

    Mails mails;
    mails.SetKeepMerging(true);
    const auto sender = std::make_shared<const FromAddress>(
        QStringLiteral("Ann"), QStringLiteral("ann@example.org"), QString());
    QElapsedTimer timer;
    timer.start();
    double cpu = CpuSeconds();
    mails.Merge(rs, o + "EMail" + c, sender, QStringLiteral("News for ") + o + "FirstName" + c,
                body, attachment);
    const double merge = double(timer.nsecsElapsed()) / 1e9;
    const double mergeCpu = CpuSeconds() - cpu;

    timer.restart();
    cpu = CpuSeconds();
    const QList<SendFinding> findings = SendChecks::Check(mails);
    const double check = double(timer.nsecsElapsed()) / 1e9;
    const double checkCpu = CpuSeconds() - cpu;
    std::printf("merge of %d mails (empty fields noted): %.3f s, %.3f s processor\n", mails.Count(),
                merge, mergeCpu);
    std::printf("checks of %d mails: %.3f s, %.3f s processor (goal under 1 s)\n", mails.Count(),
                check, checkCpu);
    for (const SendFinding& f : findings)
        std::printf("  kind %d: %lld\n", int(f.kind), static_cast<long long>(f.count));
    QFile::remove(attachment);
    return 0;
}
