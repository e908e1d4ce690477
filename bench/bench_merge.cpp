// Figures for the merge on this machine: 100,000 and 1,000,000 recipients of
// ten columns into a 1 KB body with five markers, one in the subject and the
// address in To. Prints mails per second, the time to read every mail's
// texts back, and the memory the mails take against their own text. Build in Release; run build-dir/bench/bench_merge
// (--own: each mail also gets a file named by its record).

#include "MemoryProbe.h"
#include "RecipientTable.h"
#include "merge/Mails.h"
#include "platform/recordset/Recordset.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>

using MemoryProbe::StatusKb;
using MemoryProbe::ResetPeak;

namespace {

const char* const kCities[] = {"Aarhus", "Berlin", "Lyon", "Sevilla", "Torino", "Bergen", "Malmo", "Gdansk", "Odense"};

Recordset Recipients(int rows)
{
    Recordset rs = OpenRecipientTable(QStringLiteral("Company"), 4000);
    QVariantList row(10);
    for (int i = 0; i < rows; ++i) {
        row[0] = i;
        row[1] = QStringLiteral("First%1").arg(i % 5000);
        row[2] = QStringLiteral("Last%1").arg(i);
        row[3] = QStringLiteral("user%1@example.org").arg(i);
        row[4] = QString::fromLatin1(kCities[i % 9]);
        row[5] = QStringLiteral("Company %1").arg(i % 300);
        row[6] = 18 + i % 70;
        row[7] = (i % 100000) / 100.0;
        row[8] = QDateTime(QDate(2000, 1, 1).addDays(i % 9000), QTime(i % 24, i % 60), Qt::UTC);
        row[9] = QStringLiteral("note %1").arg(i % 1000);
        rs.AppendRow(row);
    }
    return rs;
}

// About 1 KB of text with five markers spread through it.
QString Body()
{
    const QString filler = QStringLiteral(
        "We are writing to let you know about the changes to our service that take effect next "
        "month. Nothing changes for you unless you want it to. ");
    const QString o = QString(QChar(0x00AB));
    const QString c = QString(QChar(0x00BB));
    return QStringLiteral("Dear ") + o + QStringLiteral("FirstName") + c + u' ' + o + QStringLiteral("LastName") + c
        + QStringLiteral(",\n\n") + filler + filler + QStringLiteral("\n\nYour branch in ") + o
        + QStringLiteral("City") + c + QStringLiteral(" keeps its opening hours. ") + filler + filler
        + QStringLiteral("\n\nYour balance is ") + o + QStringLiteral("Balance") + c + QStringLiteral(". ") + filler
        + filler + QStringLiteral("\n\nKind regards,\n") + o + QStringLiteral("Company") + c + u'\n';
}

double Seconds(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

// Processor time of this process, user and system, in seconds: on a shared
// machine the wall clock also counts other programs' turns.
double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void Run(int rows, bool ownFiles)
{
    Recordset rs = Recipients(rows);
    const QString o = QString(QChar(0x00AB));
    const QString c = QString(QChar(0x00BB));
    const QString to = o + QStringLiteral("EMail") + c;
    const QString subject = QStringLiteral("News for ") + o + QStringLiteral("FirstName") + c;
    const QString body = Body();
    const FromAddressRef from = std::make_shared<const FromAddress>(
        QStringLiteral("Ann"), QStringLiteral("ann@example.org"), QString());

    Mails mails;
    mails.SetLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    mails.SetKeepMerging(true);
    malloc_trim(0);
    const qint64 rssBefore = StatusKb("VmRSS");
    const qint64 hugeBefore = MemoryProbe::HugePagesKb();
    ResetPeak();
    QElapsedTimer timer;
    const double cpuBefore = CpuSeconds();
    timer.start();
    // One shared file, or with --own a file per person besides.
    const QString attachments = ownFiles ? QStringLiteral("/tmp/terms.pdf;/tmp/") + o
                                               + QStringLiteral("LastName") + c + QStringLiteral(".pdf")
                                         : QStringLiteral("/tmp/terms.pdf");
    const bool merged = mails.Merge(rs, to, from, subject, body, attachments);
    const double seconds = Seconds(timer);
    const double cpu = CpuSeconds() - cpuBefore;
    const qint64 peakKb = StatusKb("VmHWM") - rssBefore;
    const qint64 hugeKb = MemoryProbe::HugePagesKb() - hugeBefore;
    const qint64 heldKb = StatusKb("VmRSS") - rssBefore;

    // Reading every text back is what preview and send do, one mail at a time.
    QElapsedTimer readTimer;
    readTimer.start();
    qint64 textBytes = 0;
    for (const Mail& mail : mails)
        textBytes += 2 * (mail.To().size() + mail.Subject().size() + mail.TextBody().size());
    const double readSeconds = Seconds(readTimer);
    const double perMail = double(textBytes) / mails.Count();
    std::printf("Merge of %d records (10 columns, body of %lld characters with 5 markers)%s%s\n", rows,
                static_cast<long long>(body.size()), ownFiles ? ", a file per person" : "",
                merged ? "" : " FAILED");
    std::printf("  time:             %.3f s, %.0f mails per second, %lld values fetched\n", seconds,
                rows / seconds, static_cast<long long>(mails.ValuesFetched()));
    std::printf("  processor time:   %.3f s, %.0f mails per second\n", cpu, rows / cpu);
    std::printf("  reading back:     %.3f s for every mail's three texts, %.0f mails per second\n",
                readSeconds, rows / readSeconds);
    std::printf("  text per mail:    %.0f bytes (UTF-16)\n", perMail);
    std::printf("  held per mail:    %.0f bytes (its text: %.0f)\n", double(heldKb) * 1024 / rows, perMail);
    std::printf("  peak per mail:    %.0f bytes (%.1f MB above the start)\n", double(peakKb) * 1024 / rows,
                double(peakKb) / 1024);
    std::printf("  in huge pages:    %.1f MB of what the merge added\n", double(hugeKb) / 1024);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    std::printf("Transparent huge pages: %s\n", MemoryProbe::HugePageMode().constData());
    std::printf("Mail struct: %zu bytes\n", sizeof(Mail));
    const bool ownFiles = app.arguments().contains(QStringLiteral("--own"));
    Run(100000, ownFiles);
    Run(1000000, ownFiles);
    return 0;
}
