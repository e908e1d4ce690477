#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QVariant>

class QWidget;

// Every modal question, message box and file dialog of the program goes
// through here. In a scripted run (tests) nothing is shown: each call takes
// the next queued answer, or the safe default when none is queued, and is
// recorded so that the test can check what the user would have been asked.
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
QString SaveFileName(QWidget* parent, const QString& caption, const QString& directory,
                     const QString& filter);

// The test seam.
void SetScripted(bool scripted);
bool IsScripted();
// Queue the answer for the next call: a QMessageBox::StandardButton for a
// message, a QString or QStringList for a file dialog.
void QueueAnswer(const QVariant& answer);
int QueuedAnswers();
// What was asked since the last call, oldest first.
QList<Asked> TakeAsked();

} // namespace Dialogs
