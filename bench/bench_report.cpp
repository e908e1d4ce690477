// Figures for the error report: 100,000 failed mails with 1 KB bodies
// written as a workbook and as delimited text; time and the memory the
// writing adds, beside the text file's size. Build in Release; run
// build-dir/bench/bench_report [rows [workbook|text|both [random]]].

#include "MemoryProbe.h"
#include "delivery/ExcelReport.h"
#include "delivery/SendErrorLog.h"
#include "delivery/TextReport.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

using MemoryProbe::StatusKb;

namespace {

// A body of about 1 KB. Merged: one letter with the recipient's values in
// it, as a mailing's bodies are. Otherwise words drawn at random, a worst
// case for compression.
QString Body(bool merged, QRandomGenerator& random, int i)
{
    if (merged)
        return QStringLiteral(
                   "Dear Customer %1,\r\n\r\nThank you for your order %2 of %3. We are glad to "
                   "tell you that your shipment has left our warehouse this week and will reach "
                   "you within three working days. You can follow its way with the tracking "
                   "number %4 on our web site at any time.\r\n\r\nShould anything be missing or "
                   "damaged, please contact our customer service within fourteen days of "
                   "delivery, quoting your account number %5, and we will put it right at once. "
                   "Our opening hours are Monday to Friday from eight in the morning to six in "
                   "the evening.\r\n\r\nAs a thank-you for your trust we would like to offer you "
                   "ten per cent off your next order: give the code THANKS%6 at the checkout "
                   "before the end of the month.\r\n\r\nWith kind regards,\r\n\r\nAda Lovelace\r\n"
                   "Customer Service\r\nExample Trading Ltd.\r\n")
            .arg(i)
            .arg(100000 + i)
            .arg(QDate(2026, 1, 1).addDays(i % 300).toString(Qt::ISODate))
            .arg(QStringLiteral("TRK%1X").arg(qulonglong(i) * 7919 % 1000003, 8, 10, QChar(u'0')))
            .arg(5000000 + i * 3)
            .arg(i % 97);
    static const char* const words[] = {"order",    "invoice", "delivery", "week",    "thank",
                                        "you",      "please",  "contact",  "us",      "at",
                                        "shipment", "number",  "account",  "payment", "the",
                                        "and",      "for",     "your",     "new",     "offer"};
    QString body = QStringLiteral("Dear Customer %1,\r\n\r\n").arg(i);
    while (body.size() < 1000) {
        body += QLatin1String(words[random.bounded(20)]);
        body += random.bounded(12) == 0 ? QStringLiteral(".\r\n") : QStringLiteral(" ");
    }
    return body;
}

// Processor seconds of this process so far, user and system: on a busy
// machine the wall clock says more about the neighbours.
double ProcessorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    // A third argument "random" gives bodies of random words.
    const bool merged = !(argc > 3 && QByteArray(argv[3]) == "random");
    QRandomGenerator random(20261207);
    SendErrorLog log;
    for (int i = 0; i < rows; ++i)
        log.Records().AppendRow(QVariantList{
            QStringLiteral("550 5.1.1 <user%1@example.org>: Recipient address rejected").arg(i),
            QStringLiteral("user%1@example.org").arg(i), QStringLiteral("Ada <ada@example.org>"),
            QStringLiteral("Your order %1, \"week\" %2").arg(i).arg(i % 52),
            i % 5 == 0 ? QStringLiteral("/home/ada/offer.pdf") : QString(),
            Body(merged, random, i)});
    std::printf("%d failed mails, %s bodies, the log holds %.1f MB\n", rows,
                merged ? "merged" : "random", double(log.Records().StorageBytes()) / 1e6);

    QTemporaryDir folder;
    qint64 textBytes = 0;
    // A second argument "workbook" or "text" writes only that one.
    const QString only =
        argc > 2 && QByteArray(argv[2]) != "both" ? QString::fromLocal8Bit(argv[2]) : QString();
    for (const bool workbook : {false, true}) {
        if (!only.isEmpty() && only != QLatin1String(workbook ? "workbook" : "text"))
            continue;
        const QString path = folder.filePath(workbook ? "report.xlsx" : "report.csv");
        MemoryProbe::ResetPeak();
        const qint64 before = StatusKb("VmRSS");
        QElapsedTimer timer;
        timer.start();
        const double processor = ProcessorSeconds();
        const ReportResult result = workbook
                                        ? ExcelReport::Write(log.Records(), path)
                                        : TextReport::Write(log.Records(), path, {",", "\"", true});
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        const double used = ProcessorSeconds() - processor;
        const qint64 added = StatusKb("VmHWM") - before;
        const qint64 size = QFileInfo(path).size();
        if (!workbook)
            textBytes = size;
        if (!result.ok) {
            std::printf("%s failed: %s\n", workbook ? "workbook" : "text",
                        qPrintable(result.error));
            return 1;
        }
        std::printf("%-8s %6.2f s (processor %5.2f s)  file %6.1f MB  peak memory added %6.1f MB "
                    "(%.2fx the text)\n",
                    workbook ? "workbook" : "text", seconds, used, double(size) / 1e6,
                    double(added) / 1024, double(added) * 1024 / double(textBytes));
    }
    return 0;
}
