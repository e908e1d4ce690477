#pragma once

#include <QString>
#include <QUrl>
#include <optional>
#include <utility>

// Help is chosen by a context: the window, the control (empty for the window
// as a whole) and a state digit for situations of the same control. The
// context is sent as the query of a help address on the maker's site, and the
// address is answered by a page shipped in the program's resources, so help
// works offline.
namespace HelpPages {

struct Context
{
    Context(QString windowName = {}, QString controlName = {}, int stateDigit = 0)
        : window(std::move(windowName)), control(std::move(controlName)), state(stateDigit)
    {
    }
    QString window;
    QString control;
    int state;
};

// "window|control|digit", as a What's This entry carries it.
QString Tag(const Context& context);

// The context of a What's This tag: text, "|", text, "|" and one digit.
// A tag with any other shape (a further "|" included) has none.
std::optional<Context> ParseTag(const QString& tag);

// The maker's help address for a context: "/help/" with the keys p, v, frm,
// ctl and state, the values inserted as they are.
QString Address(const Context& context);

// The bundled page that answers a help address: the page of the exact
// context, else the page of its window, else the main page. A page may name
// a place in it ("compose.html#to").
QUrl PageFor(const QString& address);

// The main window's page, where unknown contexts end.
QUrl MainPage();

} // namespace HelpPages
