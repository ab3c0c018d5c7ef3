#pragma once

#include <QKeySequence>
#include <QString>

#include <vector>

class QIcon;
class QMenu;
class QWidget;

// The shell's resources: the two menus, the two toolbars, the accelerator table, the title
// string and the icons, each under the number the code and DB_ML.ini know it by.
namespace app {

// Window-arrangement commands of the Window menu, numbered as the platform numbers them.
inline constexpr int ID_WINDOW_CASCADE = 57650;
inline constexpr int ID_WINDOW_TILE_HORZ = 57651;

// Menu resource `id` (res::IDM_MAIN_MENU or res::IDM_TABLE_MENU) as a root menu whose items
// open the popups, the way a menu bar holds them. Every command item carries its command
// identifier as the action's data. Null for an unknown number.
QMenu* loadMenu(int id, QWidget* parent);

// Command identifiers of toolbar resource `id`, left to right; 0 stands for a separator.
// Empty for an unknown number.
std::vector<int> toolbarButtons(int id);

struct Accelerator {
    QKeySequence keys;
    int command;
};
// Accelerator table 128; it serves the main window and every table window.
std::vector<Accelerator> acceleratorTable();

// String resource `id`; empty for an unknown number.
QString loadString(int id);

// A toolbar button's picture (16 x 15) for a command identifier.
QIcon commandIcon(int id);
// Icon 128.
QIcon appIcon();
// A short tip for a toolbar button.
QString commandTip(int id);

}  // namespace app
