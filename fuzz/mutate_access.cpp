// A byte-mutation run over the Access test files through the reader helper:
// libmdb cannot be fuzzed in this process (it loops and allocates without
// bound on damaged files), so each mutated file is read the way the program
// reads it, and what matters is that every read ends, in a record set or an
// error, well within the helper's limits. Lowered limits keep each bad file
// short.
//
//   build/fuzz/mutate_access SECONDS [FINDINGS-FOLDER] [TESTDATA-FOLDER]
//
// Prints a count per outcome; files on which the helper failed (out of
// memory, too long, crashed) are kept in the findings folder. Exits with 1
// when a read did not come back within its limits or raised something else
// than the reader's error.

#include "base/AppError.h"
#include "platform/providers/Dispatch.h"
#include "platform/providers/guarded/GuardedReader.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

QByteArray Mutate(QByteArray bytes, QRandomGenerator& random)
{
    const int changes = 1 + int(random.bounded(16));
    for (int i = 0; i < changes; ++i) {
        const qsizetype at = qsizetype(random.bounded(quint32(bytes.size())));
        switch (random.bounded(4)) {
        case 0: bytes[at] = char(random.bounded(256)); break;                // any byte
        case 1: bytes[at] = char(bytes[at] ^ (1 << random.bounded(8))); break; // one bit
        case 2: bytes[at] = char(random.bounded(2) ? 0xff : 0x00); break;     // an extreme
        default: { // a small number written over a 16-bit field
            const quint16 value = quint16(random.bounded(2) ? random.bounded(0x2000) : 0xffff - random.bounded(16));
            if (at + 1 < bytes.size()) {
                bytes[at] = char(value & 0xff);
                bytes[at + 1] = char(value >> 8);
            }
        }
        }
    }
    return bytes;
}

// What a read ended in, with the helper's failures told apart and the
// reader's own errors counted by number.
QString Kind(const AppError& error)
{
    static const QRegularExpression failure(QStringLiteral(": the reader (ran out of memory|used more than|did not "
                                                           "finish|stopped unexpectedly \\(([^)]*)\\))"));
    const QRegularExpressionMatch match = failure.match(error.Description());
    if (match.hasMatch())
        return QStringLiteral("helper: ") + (match.captured(2).isEmpty() ? match.captured(1) : match.captured(2));
    return QStringLiteral("reader error %1").arg(error.Number());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: mutate_access SECONDS [FINDINGS-FOLDER] [TESTDATA-FOLDER]\n");
        return 2;
    }
    const int seconds = QByteArray(argv[1]).toInt();
    const QString findings = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("mutate-access-findings");
    const QString testdata = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral(CORVANTA_TESTDATA);
    GuardedReader::SetProgram(QStringLiteral(CORVANTA_READER_PROGRAM));
    GuardedReader::Limits limits;
    limits.AddressSpaceBytes = qint64(1) << 30;
    limits.ProcessorSeconds = 5;
    limits.WallSeconds = 15;
    GuardedReader::SetLimits(limits);
    QDir().mkpath(findings);

    QList<QByteArray> seeds;
    QStringList names;
    for (const QFileInfo& info : QDir(testdata + QStringLiteral("/mdb")).entryInfoList(QDir::Files)) {
        if (info.fileName().contains(QLatin1String("-mutated-")))
            continue;
        QFile file(info.absoluteFilePath());
        if (file.open(QIODevice::ReadOnly)) {
            seeds << file.readAll();
            names << info.fileName();
        }
    }
    QRandomGenerator random(QRandomGenerator::global()->generate());
    QTemporaryDir work;
    QMap<QString, int> counts;
    QMap<QString, QString> examples; // the first description of each kind
    int reads = 0;
    int faults = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < qint64(seconds) * 1000) {
        const int seed = int(random.bounded(quint32(seeds.size())));
        const QByteArray bytes = Mutate(seeds[seed], random);
        const QString path = work.filePath(QStringLiteral("mutated-") + names[seed]);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            return 2;
        file.close();
        const QString connection = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Mode=Read").arg(path);

        QStringList kinds;
        const auto read = [&](const std::function<void()>& call) {
            QElapsedTimer took;
            took.start();
            try {
                call();
                kinds << QStringLiteral("read");
            } catch (const AppError& error) {
                kinds << Kind(error);
                if (!examples.contains(kinds.last()))
                    examples[kinds.last()] = error.Source() + QStringLiteral(": ") + error.Description().left(160);
            } catch (...) {
                kinds << QStringLiteral("FAULT: not the reader's error");
            }
            ++reads;
            if (took.elapsed() > (limits.WallSeconds + 5) * 1000)
                kinds << QStringLiteral("FAULT: past the limits");
        };
        QStringList tables;
        read([&] { tables = ProviderDispatch::TableNames(connection); });
        for (const QString& table : tables.mid(0, 4))
            read([&] { ProviderDispatch::Open(connection, u'[' + table + u']'); });

        bool keep = false;
        for (const QString& kind : kinds) {
            ++counts[kind];
            keep = keep || kind.startsWith(QLatin1String("helper")) || kind.startsWith(QLatin1String("FAULT"));
            faults += kind.startsWith(QLatin1String("FAULT")) ? 1 : 0;
        }
        if (keep) {
            const QString hash = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().left(12));
            QFile::copy(path, findings + u'/' + kinds.filter(QStringLiteral("helper")).value(0, kinds.last())
                                                    .replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("-"))
                                  + u'-' + hash + u'-' + names[seed]);
        }
    }
    std::printf("%d reads of mutated Access files in %lld s\n", reads, clock.elapsed() / 1000);
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        std::printf("%8d  %s\n          e.g. %s\n", it.value(), qPrintable(it.key()), qPrintable(examples.value(it.key())));
    return faults == 0 ? 0 : 1;
}
