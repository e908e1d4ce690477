#include "controls/Dialogs.h"

#include "base/AppInfo.h"

#include <QFileDialog>
#include <QQueue>

namespace Dialogs {

namespace {

struct Script
{
    bool scripted = false;
    QQueue<QVariant> answers;
    QList<Asked> asked;
};

Script& script()
{
    static Script s;
    return s;
}

// The answer a careful user gives when nothing else is known: the least
// harmful button of the box.
QMessageBox::StandardButton safeDefault(QMessageBox::StandardButtons buttons)
{
    for (auto b : {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Ok, QMessageBox::Yes})
        if (buttons.testFlag(b))
            return b;
    return QMessageBox::NoButton;
}

QVariant nextAnswer(Asked asked)
{
    script().asked.append(std::move(asked));
    return script().answers.isEmpty() ? QVariant() : script().answers.dequeue();
}

QMessageBox::Icon toQt(Icon icon)
{
    switch (icon) {
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QMessageBox::StandardButton Message(QWidget* parent, const QString& text,
                                    QMessageBox::StandardButtons buttons, Icon icon,
                                    const QString& title, QMessageBox::StandardButton defaultButton)
{
    const QString caption = title.isEmpty() ? AppInfo::Title() : title;
    if (script().scripted) {
        const QVariant answer =
            nextAnswer({Asked::Kind::Message, caption, text, buttons, icon, {}, {}, defaultButton});
        return answer.isValid() ? static_cast<QMessageBox::StandardButton>(answer.toInt())
                                : safeDefault(buttons);
    }
    QMessageBox box(toQt(icon), caption, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString OpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                     const QString& filter)
{
    if (script().scripted)
        return nextAnswer({Asked::Kind::OpenFile, caption, caption, {}, Icon::None, directory,
                           filter})
            .toString();
    return QFileDialog::getOpenFileName(parent, caption, directory, filter);
}

QStringList OpenFileNames(QWidget* parent, const QString& caption, const QString& directory,
                          const QString& filter)
{
    if (script().scripted)
        return nextAnswer({Asked::Kind::OpenFiles, caption, caption, {}, Icon::None, directory,
                           filter})
            .toStringList();
    return QFileDialog::getOpenFileNames(parent, caption, directory, filter);
}

QString SaveFileName(QWidget* parent, const QString& caption, const QString& directory,
                     const QString& filter)
{
    if (script().scripted)
        return nextAnswer({Asked::Kind::SaveFile, caption, caption, {}, Icon::None, directory,
                           filter})
            .toString();
    return QFileDialog::getSaveFileName(parent, caption, directory, filter);
}

void SetScripted(bool scripted)
{
    script() = Script{};
    script().scripted = scripted;
}

bool IsScripted()
{
    return script().scripted;
}

void QueueAnswer(const QVariant& answer)
{
    script().answers.enqueue(answer);
}

int QueuedAnswers()
{
    return int(script().answers.size());
}

QList<Asked> TakeAsked()
{
    return std::exchange(script().asked, {});
}

} // namespace Dialogs
