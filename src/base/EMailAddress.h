#pragma once

#include <QString>

namespace modForms {

// The one e-mail address test of the program: the whole text must match
// "[A-Za-z0-9_]*[@][A-Za-z0-9_]*[.][A-Za-z0-9_]*", where a bracket group is
// exactly one character of the set and "*" any run of characters. So: a
// letter, digit or underscore first; later an "@" directly followed by one;
// after that a "." directly followed by one.
bool IsEMailAddress(const QString& text);

} // namespace modForms
