#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

class QWidget;

// Every modal question, message box and file dialog of the program goes
// through here. In a scripted run (tests) nothing is shown: each call takes
// the next queued answer and is recorded so that the test can check what the
// user would have been asked. A call with no answer queued gets the safe
// default (Cancel, No, an empty file name) and is reported to the unanswered
// handler, where tests fail.
namespace Dialogs {

enum class Icon { None, Information, Question, Warning, Critical };

struct Asked
{
    enum class Kind { Message, OpenFile, OpenFiles, SaveFile } kind = Kind::Message;
    QString title;
    QString text; // message text, or the file dialog's caption
    QMessageBox::StandardButtons buttons;
    Icon icon = Icon::None;
    QString directory;
    QString filter;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// A message box with the program's title unless another is given, and with
// Qt's own choice of default button unless one is given. Returns the button
// the user chose.
QMessageBox::StandardButton
Message(QWidget* parent, const QString& text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok, Icon icon = Icon::None,
        const QString& title = {},
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// File dialogs; an empty result means the user cancelled.
QString OpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                     const QString& filter);
QStringList OpenFileNames(QWidget* parent, const QString& caption, const QString& directory,
                          const QString& filter);
// A name typed without a suffix gets defaultSuffix (without its dot), before
// the dialog asks whether to replace an existing file. With selectedFilter
// the suffix follows the filter entry chosen (its first pattern's), and the
// entry is returned there; a scripted answer may be {path, entry}.
QString SaveFileName(QWidget* parent, const QString& caption, const QString& directory,
                     const QString& filter, const QString& defaultSuffix = {},
                     QString* selectedFilter = nullptr);
QString WithDefaultSuffix(const QString& path, const QString& defaultSuffix);

// The test seam. SetScripted also forgets queued answers and what was asked.
void SetScripted(bool scripted);
bool IsScripted();
// Called for every scripted call that found no answer queued; kept across
// SetScripted.
void SetUnansweredHandler(std::function<void(const Asked&)> handler);
// Queue the answer for the next call: a QMessageBox::StandardButton for a
// message, a QString or QStringList for a file dialog.
void QueueAnswer(const QVariant& answer);
int QueuedAnswers();
// What was asked since the last call, oldest first.
QList<Asked> TakeAsked();

} // namespace Dialogs
