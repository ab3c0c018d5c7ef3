#pragma once

#include <QEvent>

#include <iterator>

// Private notices between the program's windows. Each keeps its window-message number (user
// message base plus an offset), so one number names a notice in every handler and trace;
// eventType() turns it into the Qt event type that postEvent() and sendEvent() carry.

namespace res {

inline constexpr int kWmUser = 1024;

// Record view to its table window, posted: the grid's current record changed.
inline constexpr int WM_RECORD_CHANGED = kWmUser + 1;
// Record view to its table window, posted: the recordset was reopened with new columns.
inline constexpr int WM_RECORDSET_REPLACED = kWmUser + 2;
// Last wizard page to the wizard, sent: create the database now (0 from template, 1 by hand).
inline constexpr int WM_NEWDB_CREATE = kWmUser + 3;
// Table window to the main window, sent: a table window was destroyed.
inline constexpr int WM_CHILD_CLOSED = kWmUser + 4;
// Find dialog to the record view, sent: select the found text in the current cell.
inline constexpr int WM_FIND_SELECT = kWmUser + 5;
// Find dialog to the record view, sent: the dialog was closed and may be destroyed.
inline constexpr int WM_FIND_CLOSED = kWmUser + 6;
// Grid to its record view, sent before the grid handles a right press: show the context menu.
inline constexpr int WM_GRID_RBUTTONDOWN = kWmUser + 500;

// Qt's registerEventType() hands out numbers from MaxUser downwards, so the low end of the
// user range stays free for these fixed ones.
constexpr QEvent::Type eventType(int wm) {
    Q_ASSERT(wm >= kWmUser && wm - kWmUser <= QEvent::MaxUser - QEvent::User);
    return static_cast<QEvent::Type>(QEvent::User + (wm - kWmUser));
}

// The message number an event of ours carries, or 0 for any event outside the user range.
// Handlers switch on this rather than on QEvent::Type, whose enumerators do not include ours
// (-Wswitch flags such case labels).
constexpr int windowMessage(QEvent::Type type) {
    const int t = static_cast<int>(type);
    return t >= QEvent::User && t <= QEvent::MaxUser ? kWmUser + (t - QEvent::User) : 0;
}

namespace detail {
inline constexpr int kPrivateMessages[] = {
    WM_RECORD_CHANGED, WM_RECORDSET_REPLACED, WM_NEWDB_CREATE,    WM_CHILD_CLOSED,
    WM_FIND_SELECT,    WM_FIND_CLOSED,        WM_GRID_RBUTTONDOWN};

constexpr bool mapsIntoUserRangeDistinctly() {
    for (int i = 0; i < int(std::size(kPrivateMessages)); ++i) {
        const int wm = kPrivateMessages[i];
        const int t = eventType(wm);
        if (t < QEvent::User || t > QEvent::MaxUser || windowMessage(eventType(wm)) != wm)
            return false;
        for (int j = 0; j < i; ++j)
            if (eventType(kPrivateMessages[j]) == t) return false;
    }
    return true;
}
}  // namespace detail

static_assert(detail::mapsIntoUserRangeDistinctly(),
              "every private message needs its own Qt event type inside the user range");

}  // namespace res
