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

// Lets the next VmHWM reading start from the present size.
inline void ResetPeak()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    if (file.open(QIODevice::WriteOnly))
        file.write("5");
}

} // namespace MemoryProbe
