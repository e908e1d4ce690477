#pragma once

#include <QString>

// What the end of a send run says: how many mails in how long.
namespace SendSummary {

// The text id for a run of h hours, m minutes and s seconds (hours are not
// folded into days): one text for every mix of none, one and several.
int TextId(qint64 hours, qint64 minutes, qint64 seconds);

// The summary for `count` mails handled in `elapsedSeconds` whole seconds.
QString Text(int count, qint64 elapsedSeconds);

} // namespace SendSummary
