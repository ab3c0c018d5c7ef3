#include "lang/LangText.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTextEdit>

#include "lang/IniFile.h"

namespace {

// Cuts a text to the longest a lookup handles, never splitting a surrogate pair.
QString cut(const QString& text) {
    if (text.size() <= CLangText::kMaxText) return text;
    qsizetype n = CLangText::kMaxText;
    if (text[n - 1].isHighSurrogate()) --n;
    return text.left(n);
}

// A control's own text, as the walk reads and sets it. Widgets without a text of their own
// (list boxes, views, tool and status bars) return false and are left alone.
bool controlText(QWidget* w, QString* text) {
    if (auto* label = qobject_cast<QLabel*>(w)) *text = label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(w)) *text = button->text();
    else if (auto* group = qobject_cast<QGroupBox*>(w)) *text = group->title();
    else if (auto* edit = qobject_cast<QLineEdit*>(w)) *text = edit->text();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) *text = plain->toPlainText();
    else if (auto* rich = qobject_cast<QTextEdit*>(w)) *text = rich->toPlainText();
    else if (auto* combo = qobject_cast<QComboBox*>(w)) *text = combo->currentText();
    else return false;
    return true;
}

void setControlText(QWidget* w, const QString& text) {
    if (auto* label = qobject_cast<QLabel*>(w)) label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(w)) button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(w)) group->setTitle(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setText(text);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) plain->setPlainText(text);
    else if (auto* rich = qobject_cast<QTextEdit*>(w)) rich->setPlainText(text);
    else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        if (combo->isEditable()) combo->setEditText(text);
    }
}

// Qt nests controls in group boxes and bare container widgets only to lay them out; on the
// platform these dialogs come from they are siblings of the dialog's other controls. Such
// containers are looked through; any other widget, and every separate window, is a leaf.
bool isLayoutContainer(QWidget* w) {
    if (w->isWindow()) return false;
    const QMetaObject* meta = w->metaObject();
    return meta == &QWidget::staticMetaObject || meta == &QFrame::staticMetaObject ||
           meta == &QGroupBox::staticMetaObject;
}

// An item's associated value as the list's "item data" read: -1 stands for none.
bool carriesValue(const QVariant& data) {
    if (!data.isValid()) return false;
    bool isInt = false;
    const qlonglong v = data.toLongLong(&isInt);
    return !(isInt && v == -1);
}

}  // namespace

QString CLangText::DefaultIniPath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/DB_ML.ini");
}

bool CLangText::SetIniFile(const QString& path) {
    m_strIniPath = path;
    if (path.isEmpty()) return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}

bool CLangText::SetSection(const QString& name) {
    m_strSection = name;
    return !name.isEmpty();
}

QString CLangText::GetText(const QString& key) {
    m_strResult.clear();
    if (s_observer && !key.isEmpty()) s_observer(m_strSection, key);
    QString value;
    if (key.isEmpty() || !IniFile::readValue(m_strIniPath, m_strSection, key, &value) ||
        value.isEmpty())
        value = key;
    m_strResult = cut(value);
    return m_strResult;
}

int CLangText::TranslateWindow(QWidget* window) {
    if (!window) return 0;
    window->setWindowTitle(GetText(cut(window->windowTitle())));

    QMenuBar* menuBar = nullptr;
    if (auto* main = qobject_cast<QMainWindow*>(window))
        menuBar = qobject_cast<QMenuBar*>(main->menuWidget());
    for (QObject* object : window->children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (!child || child == menuBar) continue;
        if (!menuBar) menuBar = qobject_cast<QMenuBar*>(child);
        if (qobject_cast<QMenuBar*>(child)) continue;
        TranslateControl(child);
    }
    if (menuBar) TranslateMenu(menuBar, window);
    return 0;
}

void CLangText::TranslateControl(QWidget* child) {
    if (child->isWindow()) return;
    QString text;
    if (controlText(child, &text)) {
        const QString translated = GetText(cut(text));
        auto* combo = qobject_cast<QComboBox*>(child);
        if (combo && combo->count() > 0) {
            // A combo box reports no list-box items, so the list fallback changes nothing.
            TranslateComboBox(combo);
        } else {
            setControlText(child, translated);
        }
    }
    if (isLayoutContainer(child)) {
        for (QObject* object : child->children())
            if (auto* grandchild = qobject_cast<QWidget*>(object)) TranslateControl(grandchild);
    }
}

bool CLangText::TranslateComboBox(QComboBox* combo) {
    if (!combo || combo->count() <= 0) return false;
    // Rebuilding the items is not a change of selection the dialog should react to.
    const QSignalBlocker blocker(combo);
    const int selected = combo->currentIndex();
    for (int i = 0; i < combo->count(); ++i) {
        const QString text = cut(combo->itemText(i));
        const QVariant data = combo->itemData(i);
        const QString translated = GetText(text);
        combo->removeItem(i);
        combo->insertItem(i, translated);
        if (carriesValue(data)) combo->setItemData(i, data);
    }
    combo->setCurrentIndex(selected);
    return selected >= 0 && combo->currentIndex() == selected;
}

bool CLangText::TranslateListBox(QListWidget* list) {
    if (!list || list->count() <= 0) return false;
    const QSignalBlocker blocker(list);
    const int selected = list->currentRow();
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem* old = list->item(i);
        const QString text = cut(old->text());
        const QVariant data = old->data(Qt::UserRole);
        const QString translated = GetText(text);
        delete list->takeItem(i);
        auto* item = new QListWidgetItem(translated);
        if (carriesValue(data)) item->setData(Qt::UserRole, data);
        list->insertItem(i, item);
    }
    list->setCurrentRow(selected);
    return selected >= 0 && list->currentRow() == selected;
}

void CLangText::TranslateMenu(QWidget* menu, QWidget* owner) {
    if (!menu) return;
    const QList<QAction*> items = menu->actions();
    for (QAction* item : items) {
        if (item->isSeparator()) continue;
        const QString text = cut(item->text());
        // An item without text is drawn as a separator and is not looked up.
        if (text.isEmpty()) continue;
        // The action itself is kept, so its identifier, shortcut and sub-menu stay as they are.
        item->setText(GetText(text));
        if (auto* main = qobject_cast<QMainWindow*>(owner); main && main->menuWidget())
            main->menuWidget()->update();
        if (QMenu* sub = item->menu()) TranslateMenu(sub, owner);
    }
}
