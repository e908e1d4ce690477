#include "base/EMailAddress.h"

#include <QRegularExpression>

namespace modForms {

bool IsEMailAddress(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("\\A[\\p{L}\\p{Nd}_].*@[\\p{L}\\p{Nd}_].*\\.[\\p{L}\\p{Nd}_].*\\z"),
        QRegularExpression::DotMatchesEverythingOption);
    return pattern.match(text).hasMatch();
}

} // namespace modForms
