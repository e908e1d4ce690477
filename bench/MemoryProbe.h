#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Memory readings the benchmarks print, from /proc/self.
namespace MemoryProbe {

// Kilobytes from /proc/self/status ("VmRSS", "VmHWM").
inline qint64 StatusKb(const char* key)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLongLong();
    return -1;
}

// Kilobytes of this process's memory that sit in transparent huge pages.
inline qint64 HugePagesKb()
{
    QFile file(QStringLiteral("/proc/self/smaps_rollup"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith("AnonHugePages:"))
            return line.mid(14).trimmed().split(' ').first().toLongLong();
    return -1;
}

// What the system does with huge pages: "always", "madvise" or "never".
inline QByteArray HugePageMode()
{
    QFile file(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
    if (!file.open(QIODevice::ReadOnly))
        return "unknown";
    const QByteArray line = file.readAll();
    const qsizetype open = line.indexOf('['), close = line.indexOf(']');
    return open >= 0 && close > open ? line.mid(open + 1, close - open - 1) : QByteArray("unknown");
}

// Lets the next VmHWM reading start from the present size.
inline void ResetPeak()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    if (file.open(QIODevice::WriteOnly))
        file.write("5");
}

} // namespace MemoryProbe
