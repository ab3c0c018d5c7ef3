#include "app/AppResources.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>

#include "res/ResourceIds.h"

namespace app {

namespace {

struct Item {
    const char* text;  // null: separator
    int id;            // command identifier; 0 with `popup` set
    std::vector<Item> popup;
};

Item command(const char* text, int id) {
    return {text, id, {}};
}
Item separator() {
    return {nullptr, 0, {}};
}

// Blanks before the shortcut hints are part of the texts (and so of the DB_ML.ini keys).
Item fileMenuWithoutTable() {
    return {"File(&F)",
            0,
            {command("New(&N)...   Ctrl+N", res::ID_FILE_NEW),
             command("Open(&O)...  Ctrl+O", res::ID_FILE_OPEN), separator(),
             command("Exit(&X)", res::ID_APP_EXIT)}};
}

Item helpMenu() {
    return {"Help(&H)",
            0,
            {command("Tessor Help(&H)...", res::ID_HELP), separator(),
             command("About Tessor(&A)...", res::ID_APP_ABOUT)}};
}

std::vector<Item> menuItems(int id) {
    if (id == res::IDM_MAIN_MENU) return {fileMenuWithoutTable(), helpMenu()};
    if (id != res::IDM_TABLE_MENU) return {};
    return {
        {"File(&F)",
         0,
         {command("New(&N)...   Ctrl+N", res::ID_FILE_NEW),
          command("Open(&O)...  Ctrl+O", res::ID_FILE_OPEN),
          command("Close(&C)", res::ID_FILE_CLOSE),
          // The hint is only a hint: no accelerator carries Ctrl+S, and Save does nothing.
          command("Save(&S)    Ctrl+S", res::ID_FILE_SAVE),
          command("Save As(&A)...", res::ID_FILE_SAVE_AS), separator(),
          command("Set Password(&P)", res::ID_FILE_SET_PASSWORD), separator(),
          command("Exit(&X)", res::ID_APP_EXIT)}},
        {"Edit(&E)",
         0,
         {command("Cut(&T)      Ctrl+X", res::ID_EDIT_CUT),
          command("Copy(&C)   Ctrl+C", res::ID_EDIT_COPY),
          command("Paste(&P)    Ctrl+V", res::ID_EDIT_PASTE), separator(),
          command("Find(&F)...  Ctrl+F", res::ID_EDIT_FIND)}},
        {"Field(&D)",
         0,
         {command("Modify Field(&M)...", res::ID_FIELD_MODIFY), separator(),
          command("Descend(&D)", res::ID_FIELD_DESCEND),
          command("Ascend(&A)", res::ID_FIELD_ASCEND), separator(),
          command("Add Print Info Fields(&P)", res::ID_FIELD_ADD_PRINT_INFO)}},
        {"Record(&R)",
         0,
         {command("Add Record(&A)", res::ID_RECORD_ADD),
          command("Delete Record(&D)", res::ID_RECORD_DELETE)}},
        {"Window(&W)",
         0,
         {command("Cascade(&C)", ID_WINDOW_CASCADE), command("Tile(&T)", ID_WINDOW_TILE_HORZ)}},
        helpMenu(),
    };
}

void addItems(QMenu* menu, const std::vector<Item>& items) {
    for (const Item& item : items) {
        if (!item.text) {
            menu->addSeparator();
        } else if (!item.popup.empty()) {
            QMenu* sub = menu->addMenu(QString::fromUtf8(item.text));
            addItems(sub, item.popup);
        } else {
            QAction* action = menu->addAction(QString::fromUtf8(item.text));
            action->setData(item.id);
        }
    }
}

// The pictures are drawn rather than shipped, so the program needs no image files.
QPixmap blankButton() {
    QPixmap pixmap(16, 15);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void drawPage(QPainter& p, const QRect& r) {
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawRect(r);
}

}  // namespace

QMenu* loadMenu(int id, QWidget* parent) {
    const std::vector<Item> items = menuItems(id);
    if (items.empty()) return nullptr;
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("menu%1").arg(id));
    addItems(menu, items);
    return menu;
}

std::vector<int> toolbarButtons(int id) {
    if (id == res::IDR_START_TOOLBAR)
        return {res::ID_FILE_NEW, res::ID_FILE_OPEN, 0, res::ID_APP_ABOUT};
    if (id == res::IDR_RECORD_TOOLBAR)
        return {res::ID_FILE_NEW,  res::ID_FILE_OPEN,  0, res::ID_EDIT_CUT,
                res::ID_EDIT_COPY, res::ID_EDIT_PASTE, 0, res::ID_APP_ABOUT};
    return {};
}

std::vector<Accelerator> acceleratorTable() {
    return {
        {QKeySequence(Qt::CTRL | Qt::Key_C), res::ID_EDIT_COPY},
        {QKeySequence(Qt::CTRL | Qt::Key_F), res::ID_EDIT_FIND},
        {QKeySequence(Qt::CTRL | Qt::Key_N), res::ID_FILE_NEW},
        {QKeySequence(Qt::CTRL | Qt::Key_O), res::ID_FILE_OPEN},
        {QKeySequence(Qt::CTRL | Qt::Key_V), res::ID_EDIT_PASTE},
        {QKeySequence(Qt::ALT | Qt::Key_Backspace), res::ID_EDIT_UNDO},
        {QKeySequence(Qt::SHIFT | Qt::Key_Delete), res::ID_EDIT_CUT},
        {QKeySequence(Qt::Key_F6), res::ID_NEXT_PANE},
        {QKeySequence(Qt::SHIFT | Qt::Key_F6), res::ID_PREV_PANE},
        {QKeySequence(Qt::CTRL | Qt::Key_Insert), res::ID_EDIT_COPY},
        {QKeySequence(Qt::SHIFT | Qt::Key_Insert), res::ID_EDIT_PASTE},
        {QKeySequence(Qt::CTRL | Qt::Key_X), res::ID_EDIT_CUT},
        {QKeySequence(Qt::CTRL | Qt::Key_Z), res::ID_EDIT_UNDO},
    };
}

QString loadString(int id) {
    if (id == res::IDS_MAIN_TITLE) return QStringLiteral("Tessor");
    return {};
}

QIcon commandIcon(int id) {
    QPixmap pixmap = blankButton();
    QPainter p(&pixmap);
    switch (id) {
        case res::ID_FILE_NEW:
            drawPage(p, QRect(3, 1, 9, 12));
            break;
        case res::ID_FILE_OPEN:
            p.setPen(Qt::black);
            p.setBrush(QColor(230, 190, 80));
            p.drawRect(1, 4, 13, 9);
            p.drawLine(1, 4, 5, 2);
            break;
        case res::ID_EDIT_CUT:
            p.setPen(Qt::black);
            p.drawLine(4, 1, 10, 9);
            p.drawLine(11, 1, 5, 9);
            p.drawEllipse(2, 9, 4, 4);
            p.drawEllipse(9, 9, 4, 4);
            break;
        case res::ID_EDIT_COPY:
            drawPage(p, QRect(1, 1, 8, 9));
            drawPage(p, QRect(6, 4, 8, 9));
            break;
        case res::ID_EDIT_PASTE:
            p.setPen(Qt::black);
            p.setBrush(QColor(180, 130, 70));
            p.drawRect(1, 2, 10, 11);
            drawPage(p, QRect(6, 5, 8, 9));
            break;
        case res::ID_APP_ABOUT:
            p.setPen(Qt::black);
            p.setBrush(QColor(255, 255, 180));
            p.drawEllipse(2, 1, 11, 11);
            p.drawText(QRect(2, 1, 12, 12), Qt::AlignCenter, QStringLiteral("?"));
            break;
        default:
            break;
    }
    return QIcon(pixmap);
}

QIcon appIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(40, 70, 120));
    p.setBrush(QColor(225, 235, 250));
    p.drawRect(2, 4, 27, 23);
    for (int y = 10; y < 27; y += 6)
        p.drawLine(2, y, 29, y);
    p.drawLine(11, 4, 11, 27);
    return QIcon(pixmap);
}

QString commandTip(int id) {
    switch (id) {
        case res::ID_FILE_NEW:
            return QStringLiteral("New");
        case res::ID_FILE_OPEN:
            return QStringLiteral("Open");
        case res::ID_EDIT_CUT:
            return QStringLiteral("Cut");
        case res::ID_EDIT_COPY:
            return QStringLiteral("Copy");
        case res::ID_EDIT_PASTE:
            return QStringLiteral("Paste");
        case res::ID_APP_ABOUT:
            return QStringLiteral("About");
        default:
            return {};
    }
}

}  // namespace app
