#pragma once

#include <QtCore/qnamespace.h>

#include <optional>

// A busy pointer for the life of the object:
//
//     WaitCursor wait;
//     wait.SetPointer(WaitCursor::Hourglass);
//     ... long work ...
//     // the pointer comes back when `wait` goes out of scope
//
// Each object puts at most one entry on the application's override-cursor
// stack and takes exactly that one off again, whatever order the objects end
// in; the pointer shown is always the one set by the newest live object.
class WaitCursor
{
public:
    // The pointer codes callers pass; 0 is the default pointer (no override).
    static constexpr int Default = 0;
    static constexpr int Hourglass = 11;

    WaitCursor();
    ~WaitCursor();

    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    // Shows the pointer with that code while this object lives. 0 takes this
    // object's pointer away again (like Restore); unknown codes are ignored.
    void SetPointer(int code);

    // Puts back the pointer that was shown before this object set its own.
    // Harmless when nothing was set or already restored.
    void Restore();

    // The cursor shape of a pointer code, none for 0 and unknown codes.
    static std::optional<Qt::CursorShape> ShapeOf(int code);
};
