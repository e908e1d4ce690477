#include "controls/Dialogs.h"

#include "base/AppInfo.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QQueue>
#include <QRegularExpression>
#include <QWidget>

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

std::function<void(const Asked&)>& unansweredHandler()
{
    static std::function<void(const Asked&)> handler;
    return handler;
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

// An invalid answer when none is queued.
QVariant nextAnswer(Asked asked)
{
    script().asked.append(asked);
    if (!script().answers.isEmpty())
        return script().answers.dequeue();
    if (unansweredHandler())
        unansweredHandler()(asked);
    return {};
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
                     const QString& filter, const QString& defaultSuffix, QString* selectedFilter)
{
    // "Name (*.abc *.def)" gives "abc".
    const auto suffixOf = [](const QString& entry) {
        const qsizetype at = entry.indexOf(QLatin1String("(*."));
        if (at < 0)
            return QString();
        const qsizetype end = entry.indexOf(QRegularExpression(QStringLiteral("[ );]")), at + 3);
        return entry.mid(at + 3, end < 0 ? -1 : end - at - 3);
    };
    const QStringList entries = filter.split(QStringLiteral(";;"));
    if (script().scripted) {
        const QVariant answer = nextAnswer(
            {Asked::Kind::SaveFile, caption, caption, {}, Icon::None, directory, filter});
        const QStringList parts = answer.toStringList();
        const QString entry = parts.size() > 1 ? parts[1] : entries.constFirst();
        if (selectedFilter)
            *selectedFilter = entry;
        return WithDefaultSuffix(parts.value(0), selectedFilter ? suffixOf(entry) : defaultSuffix);
    }
    // Not the static function: only a dialog of our own takes a default
    // suffix, and so asks about replacing the file that will be written.
    QFileDialog dialog(parent, caption, directory, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(selectedFilter ? suffixOf(entries.constFirst()) : defaultSuffix);
    if (selectedFilter)
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&](const QString& entry) { dialog.setDefaultSuffix(suffixOf(entry)); });
    const int result = dialog.exec();
    // After the dialog's own replace question some window managers give the
    // focus to no window at all; the keyboard must come back to the owner.
    if (parent)
        parent->window()->activateWindow();
    if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    if (selectedFilter)
        *selectedFilter = dialog.selectedNameFilter();
    // A platform dialog may ignore the suffix.
    return WithDefaultSuffix(dialog.selectedFiles().constFirst(), dialog.defaultSuffix());
}

QString WithDefaultSuffix(const QString& path, const QString& defaultSuffix)
{
    // As the file dialog does it: a name with any dot in it is kept.
    if (path.isEmpty() || defaultSuffix.isEmpty() || QFileInfo(path).fileName().contains(u'.'))
        return path;
    return path + u'.' + defaultSuffix;
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

void SetUnansweredHandler(std::function<void(const Asked&)> handler)
{
    unansweredHandler() = std::move(handler);
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
