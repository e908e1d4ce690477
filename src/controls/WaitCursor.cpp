#include "controls/WaitCursor.h"

#include <QCursor>
#include <QGuiApplication>

#include <algorithm>
#include <vector>

namespace {

struct Entry
{
    const WaitCursor* owner;
    Qt::CursorShape shape;
};

// Our entries on the override stack, oldest first. Qt's stack only lets us
// take off the top entry, so when an older object ends first we take off the
// top one and show the newest remaining shape on what is left.
std::vector<Entry>& entries()
{
    static std::vector<Entry> list;
    return list;
}

std::vector<Entry>::iterator findOwner(const WaitCursor* owner)
{
    auto& list = entries();
    return std::find_if(list.begin(), list.end(),
                        [owner](const Entry& e) { return e.owner == owner; });
}

} // namespace

WaitCursor::WaitCursor() = default;

WaitCursor::~WaitCursor()
{
    Restore();
}

std::optional<Qt::CursorShape> WaitCursor::ShapeOf(int code)
{
    switch (code) {
    case 1:
        return Qt::ArrowCursor;
    case 2:
        return Qt::CrossCursor;
    case 3:
        return Qt::IBeamCursor;
    case 5:
    case 15:
        return Qt::SizeAllCursor;
    case 6:
        return Qt::SizeBDiagCursor;
    case 7:
        return Qt::SizeVerCursor;
    case 8:
        return Qt::SizeFDiagCursor;
    case 9:
        return Qt::SizeHorCursor;
    case 10:
        return Qt::UpArrowCursor;
    case Hourglass:
        return Qt::WaitCursor;
    case 12:
        return Qt::ForbiddenCursor;
    case 13:
        return Qt::BusyCursor;
    case 14:
        return Qt::WhatsThisCursor;
    default:
        return std::nullopt;
    }
}

void WaitCursor::SetPointer(int code)
{
    if (code == Default) {
        Restore();
        return;
    }
    const auto shape = ShapeOf(code);
    if (!shape || !qGuiApp)
        return;
    auto& list = entries();
    const auto it = findOwner(this);
    if (it == list.end()) {
        list.push_back({this, *shape});
        QGuiApplication::setOverrideCursor(QCursor(*shape));
        return;
    }
    it->shape = *shape;
    if (it == list.end() - 1)
        QGuiApplication::changeOverrideCursor(QCursor(*shape));
}

void WaitCursor::Restore()
{
    auto& list = entries();
    const auto it = findOwner(this);
    if (it == list.end())
        return;
    list.erase(it);
    if (!qGuiApp)
        return;
    QGuiApplication::restoreOverrideCursor();
    if (!list.empty())
        QGuiApplication::changeOverrideCursor(QCursor(list.back().shape));
}
