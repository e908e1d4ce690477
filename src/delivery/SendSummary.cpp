#include "delivery/SendSummary.h"

#include "base/Texts.h"

namespace SendSummary {

int TextId(qint64 hours, qint64 minutes, qint64 seconds)
{
    // 0 none, 1 one, 2 several: the index into the table is h*9 + m*3 + s.
    const auto kind = [](qint64 n) { return n <= 0 ? 0 : n == 1 ? 1 : 2; };
    static constexpr int Ids[27] = {
        // h = 0
        131,
        135,
        136,
        133,
        145,
        148,
        134,
        147,
        146,
        // h = 1
        132,
        141,
        144,
        137,
        149,
        152,
        140,
        151,
        155,
        // h = several
        164,
        143,
        142,
        139,
        150,
        154,
        138,
        153,
        156,
    };
    return Ids[kind(hours) * 9 + kind(minutes) * 3 + kind(seconds)];
}

QString Text(int count, qint64 elapsedSeconds)
{
    qint64 seconds = qMax<qint64>(0, elapsedSeconds);
    qint64 minutes = seconds / 60;
    seconds %= 60;
    const qint64 hours = minutes / 60;
    minutes %= 60;
    return LoadResString(TextId(hours, minutes, seconds))
        .replace(QLatin1String("#COUNT#"), QString::number(count))
        .replace(QLatin1String("#HOUR#"), QString::number(hours))
        .replace(QLatin1String("#MINUTE#"), QString::number(minutes))
        .replace(QLatin1String("#SECOND#"), QString::number(seconds));
}

} // namespace SendSummary
