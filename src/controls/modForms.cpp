#include "controls/modForms.h"

#include "controls/Icons.h"
#include "controls/frmShowHelp.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFileIconProvider>
#include <QFontInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QMainWindow>
#include <QPointer>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QShortcut>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidgetItem>
#include <algorithm>

namespace modForms {

namespace {

constexpr int LangChinese = 0x04;
constexpr int LangEnglish = 0x09;
constexpr int LangJapanese = 0x11;
constexpr int LangKorean = 0x12;

// Ignores the window manager's close request; the program's own close() is
// not spontaneous and still works.
class CloseRequestFilter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close && event->spontaneous()) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

const char* const NumbersOnlyValidator = "modFormsNumbersOnly";

} // namespace

LanguageId LanguageOf(const QLocale& locale)
{
    switch (locale.language()) {
    case QLocale::Chinese: {
        switch (locale.territory()) {
        case QLocale::Taiwan:
            return {LangChinese, 1};
        case QLocale::China:
            return {LangChinese, 2};
        case QLocale::HongKong:
            return {LangChinese, 3};
        case QLocale::Singapore:
            return {LangChinese, 4};
        case QLocale::Macao:
            return {LangChinese, 5};
        default:
            return {LangChinese, locale.script() == QLocale::TraditionalChineseScript ? 1 : 2};
        }
    }
    case QLocale::Japanese:
        return {LangJapanese, 1};
    case QLocale::Korean:
        return {LangKorean, 1};
    case QLocale::English:
        return {LangEnglish, locale.territory() == QLocale::UnitedKingdom ? 2 : 1};
    default:
        return {0, 1};
    }
}

int CharsetOf(const QLocale& locale)
{
    switch (locale.language()) {
    case QLocale::Japanese:
        return 128;
    case QLocale::Korean:
        return 129;
    case QLocale::Chinese:
        return locale.script() == QLocale::TraditionalChineseScript ? 136 : 134;
    case QLocale::Greek:
        return 161;
    case QLocale::Turkish:
    case QLocale::Azerbaijani:
        return 162;
    case QLocale::Vietnamese:
        return 163;
    case QLocale::Hebrew:
        return 177;
    case QLocale::Arabic:
    case QLocale::Persian:
    case QLocale::Urdu:
        return 178;
    case QLocale::Lithuanian:
    case QLocale::Latvian:
    case QLocale::Estonian:
        return 186;
    case QLocale::Thai:
        return 222;
    case QLocale::Polish:
    case QLocale::Czech:
    case QLocale::Slovak:
    case QLocale::Hungarian:
    case QLocale::Slovenian:
    case QLocale::Croatian:
    case QLocale::Romanian:
    case QLocale::Albanian:
    case QLocale::Bosnian:
        return 238;
    default:
        break;
    }
    return locale.script() == QLocale::CyrillicScript ? 204 : 0;
}

int GetLocaleCharset()
{
    return CharsetOf(QLocale::system());
}

bool FontExists(const QString& name)
{
    if (name.isEmpty())
        return false;
    QFont font(name);
    font.setStyleStrategy(QFont::NoFontMerging);
    return QFontInfo(font).family().compare(name, Qt::CaseInsensitive) == 0;
}

UIFont ChooseUIFont(int primary, int sub, const std::function<bool(const QString&)>& fontExists,
                    int localeCharset)
{
    switch (primary) {
    case LangChinese:
        if (sub == 1)
            return {QStringLiteral("\u65B0\u7D30\u660E\u9AD4"), 9, 136};
        if (sub == 2)
            return {QStringLiteral("\u5B8B\u4F53"), 9, 134};
        return {};
    case LangJapanese:
        return {QStringLiteral("\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF"), 9, 128};
    case LangKorean:
        return {sub == 1 || sub == 2 ? QStringLiteral("\uAD74\uB9BC") : QString(), 9, 129};
    default:
        break;
    }
    for (const char* name : {"Tahoma", "Arial"}) {
        const QString face = QString::fromLatin1(name);
        if (fontExists(face))
            return {face, 8, localeCharset};
    }
    return {QStringLiteral("System"), 8, localeCharset};
}

UIFont GetUIFont()
{
    static const UIFont font = [] {
        const QLocale locale = QLocale::system();
        const LanguageId id = LanguageOf(locale);
        return ChooseUIFont(id.primary, id.sub, FontExists, CharsetOf(locale));
    }();
    return font;
}

QFont GetMessageFont()
{
    return QApplication::font("QMessageBox");
}

void ApplyFonts(QWidget* container)
{
    if (!container)
        return;
    const UIFont ui = GetUIFont();
    // Locales for which no face is named keep the platform's own font rather
    // than an empty face of size 0.
    if (ui.face.isEmpty() || ui.pointSize <= 0)
        return;
    QFont normal(ui.face, ui.pointSize);
    QFont bold = normal;
    bold.setBold(true);

    container->setFont(normal);
    // Children inherit the container's font unless they set one of their own;
    // those are given the new face, keeping bold where it was.
    const auto children = container->findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (qobject_cast<QStatusBar*>(child)) {
            child->setFont(GetMessageFont());
            continue;
        }
        if (!child->testAttribute(Qt::WA_SetFont))
            continue;
        child->setFont(child->font().bold() ? bold : normal);
    }
}

QRect GetWorkArea()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void SetFrameGeometry(QWidget* window, const QRect& frame)
{
    const auto apply = [](QWidget* target, const QRect& outer) {
        const QRect inner = target->geometry(), framed = target->frameGeometry();
        const QSize decoration = framed.size() - inner.size();
        target->resize(outer.size() - decoration);
        target->move(outer.topLeft());
    };
    apply(window, frame);
    // A window shown for the first time is framed a moment later; the size
    // of its frame is known only then.
    if (window->isVisible() && window->frameGeometry() == window->geometry())
        QTimer::singleShot(100, window, [target = QPointer<QWidget>(window), frame, apply] {
            if (target)
                apply(target, frame);
        });
}

void InstallHelpKey(QWidget* window)
{
    auto* key = new QShortcut(QKeySequence::HelpContents, window);
    QObject::connect(key, &QShortcut::activated, window,
                     [window] { ShowHelpFor({window->objectName()}, window); });
}

void ShowHelpFor(const HelpPages::Context& context, QWidget* owner)
{
    const QRect area = GetWorkArea();
    const QRect help(area.left() + area.width() - HelpWidth, area.top(), HelpWidth, area.height());
    frmShowHelp::Instance()->ShowHelp(context, help, owner);
    auto* main = qobject_cast<QMainWindow*>(Icons::TopmostOwner(owner));
    if (!main)
        return;
    main->setWindowState(Qt::WindowNoState);
    const int smallest = std::max(main->minimumWidth(), main->minimumSizeHint().width()) +
                         main->frameGeometry().width() - main->width();
    const int width = std::max(area.width() - HelpWidth, smallest);
    SetFrameGeometry(main, QRect(area.topLeft(), QSize(width, area.height())));
}

void SetNumbersOnly(QLineEdit* textBox, bool on)
{
    if (!textBox)
        return;
    const auto* current = textBox->validator();
    const bool ours = current && current->objectName() == QLatin1String(NumbersOnlyValidator);
    if (on && !ours) {
        auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")),
                                                       textBox);
        digits->setObjectName(QLatin1String(NumbersOnlyValidator));
        textBox->setValidator(digits);
    } else if (!on && ours) {
        textBox->setValidator(nullptr);
        delete current;
    }
}

void RemoveCloseCommand(QWidget* window)
{
    if (!window)
        return;
    window->setWindowFlag(Qt::CustomizeWindowHint, true);
    window->setWindowFlag(Qt::WindowCloseButtonHint, false);
    if (!window->findChild<CloseRequestFilter*>(QString(), Qt::FindDirectChildrenOnly))
        window->installEventFilter(new CloseRequestFilter(window));
}

void SetFullRowSelect(QAbstractItemView* listView, bool on)
{
    if (listView)
        listView->setSelectionBehavior(on ? QAbstractItemView::SelectRows
                                          : QAbstractItemView::SelectItems);
}

void AutoSizeColumns(QTreeView* listView)
{
    if (!listView || !listView->model())
        return;
    const int columns = listView->header()->count();
    for (int column = 0; column < columns; ++column)
        listView->resizeColumnToContents(column);
}

void WidenColumnToFit(QTableView* grid, int column, int row)
{
    const QModelIndex cell = grid->model()->index(row, column);
    if (!cell.isValid())
        return;
    // Half the screen: a longer text is read in the cell's tooltip.
    const int cap = grid->screen()->availableGeometry().width() / 2;
    const int wanted = std::min(grid->sizeHintForIndex(cell).width() + 1, cap);
    if (wanted > grid->columnWidth(column))
        grid->setColumnWidth(column, wanted);
}

bool HasVerticalScrollBar(const QWidget* control)
{
    const auto* area = qobject_cast<const QAbstractScrollArea*>(control);
    if (!area)
        return false;
    const QScrollBar* bar = area->verticalScrollBar();
    return bar && bar->isVisibleTo(area);
}

QIcon AddFileIcon(const QString& path, QTreeWidgetItem* item)
{
    static QFileIconProvider provider;
    const QIcon icon = provider.icon(QFileInfo(path));
    if (item)
        item->setIcon(0, icon);
    return icon;
}

} // namespace modForms
