#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <utility>

// The numbered texts of the program and the small rules for showing them.
namespace Texts {

// The text with the given id from the string table (loaded once, on first
// use). An unknown id gives an empty text.
QString LoadResString(int id);

// Parsing the table file; kept apart from loading so a test can walk it.
// Lines are "<id><TAB><text>"; blank lines and lines starting with "#" are
// skipped; in texts "\n", "\t" and "\\" stand for a line feed, a tab and a
// backslash.
struct Table
{
    QMap<int, QString> texts;
    QStringList problems; // duplicate ids, malformed lines
};
Table ParseTable(const QByteArray& data);

// Resource path of the table.
inline constexpr const char* TablePath = ":/strings/strings.txt";

// The text with the given id, each token (such as "#REASON#") replaced by
// its value.
QString Filled(int id, const QList<std::pair<const char*, QString>>& values);

// Replaces the program's name and version tokens (#APP_PRODUCTNAME#,
// #APP_MAJOR#, #APP_MINOR#); every other token stays as it is.
QString ReplaceAppTokens(QString text);

// A balloon's title: the text before the first "|" (the whole text when it
// holds none).
QString BalloonTitle(const QString& text);
// A balloon's body: the text after the last "|" (the whole text when it
// holds none).
QString BalloonBody(const QString& text);

// A text for a message box: every "|" becomes lineBreaks line breaks.
QString MessageBoxText(const QString& text, int lineBreaks);

// Tokens (an upper-case name between two "#") whose "#" signs do not pair up,
// for checking the table.
bool HasBalancedTokens(const QString& text);

} // namespace Texts

using Texts::LoadResString;
