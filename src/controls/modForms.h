#pragma once

#include "base/EMailAddress.h"
#include "shell/HelpPages.h"

#include <QFont>
#include <QIcon>
#include <QRect>
#include <QString>
#include <functional>

class QAbstractItemView;
class QAbstractScrollArea;
class QLineEdit;
class QTableView;
class QTreeView;
class QTreeWidgetItem;
class QWidget;

// Helpers every window calls: the uniform interface font and a few window
// style switches.
namespace modForms {

struct UIFont
{
    QString face;
    int pointSize = 0;
    int charset = 0;
};

// The interface font for this user's locale, worked out once and kept.
UIFont GetUIFont();

// The choice behind GetUIFont, for a Windows-style primary language and
// sublanguage; fontExists answers whether a face is installed.
UIFont ChooseUIFont(int primaryLanguage, int subLanguage,
                    const std::function<bool(const QString&)>& fontExists, int localeCharset);

// The Windows-style primary language and sublanguage of a locale.
struct LanguageId
{
    int primary = 0;
    int sub = 0;
};
LanguageId LanguageOf(const QLocale& locale);

// The Windows character set code that suits a locale's script (0 for Latin).
int GetLocaleCharset();
int CharsetOf(const QLocale& locale);

// True when a font set to this face reports back the same face, ignoring case.
bool FontExists(const QString& name);

// The font the platform uses for message boxes.
QFont GetMessageFont();

// Gives the container and everything on it the interface font; bold labels
// and text boxes stay bold, status bars get the message font.
void ApplyFonts(QWidget* container);

// The desktop area not taken by panels, in pixels.
QRect GetWorkArea();

// Gives a top-level window this outer frame (title bar and borders
// included), as far as the window manager lets it.
void SetFrameGeometry(QWidget* window, const QRect& frame);

// The help window's width, in pixels.
constexpr int HelpWidth = 350;

// Shows help for the context in the help window, docked at the right of the
// work area, and makes room for it by narrowing the program's main window
// (the top of the owner's chain) to the rest of the work area, but never
// below its smallest width. The owner keeps the help window above it.
// Every window's help entry calls this, e.g. ShowHelpFor({"frmFilter"}, this).
void ShowHelpFor(const HelpPages::Context& context, QWidget* owner);

// F1 in a dialog shows its own help page (the window's object name is its
// name in the help contexts).
void InstallHelpKey(QWidget* window);

// Lets a text box take digits only (on) or anything again (off).
void SetNumbersOnly(QLineEdit* textBox, bool on);

// Takes away the window's close button and ignores the window manager's
// close request, so only the program can close it.
void RemoveCloseCommand(QWidget* window);

void SetFullRowSelect(QAbstractItemView* listView, bool on);

// Sizes every column to its contents, from the first.
void AutoSizeColumns(QTreeView* listView);

// Widens a grid's column so that the cell in `row` shows whole, up to half
// the screen's width; never narrows it. For grids that grow row by row.
void WidenColumnToFit(QTableView* grid, int column, int row);

bool HasVerticalScrollBar(const QWidget* control);

// Sets the small system icon for the file at path on the list item and
// returns it.
QIcon AddFileIcon(const QString& path, QTreeWidgetItem* item);

} // namespace modForms
