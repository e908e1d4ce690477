#pragma once

#include <QString>

namespace modForms {

// The one e-mail address test of the program: a letter, digit or
// underscore first; later an "@" directly followed by one; after that a "."
// directly followed by one. Letters and digits of every script count, so
// that an international address ("émile@bücher.example") passes too.
bool IsEMailAddress(const QString& text);

} // namespace modForms
