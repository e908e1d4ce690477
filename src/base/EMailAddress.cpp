#include "base/EMailAddress.h"

#include <QRegularExpression>

namespace modForms {

bool IsEMailAddress(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("\\A[A-Za-z0-9_].*@[A-Za-z0-9_].*\\.[A-Za-z0-9_].*\\z"),
        QRegularExpression::DotMatchesEverythingOption);
    return pattern.match(text).hasMatch();
}

} // namespace modForms
