#pragma once

#include <QStyledItemDelegate>

namespace grid {

// Opens the record grid's cell editors. A line editor stops at 32767 characters by default,
// which would cut a longer memo the moment its cell is opened and saved again; the editors
// made here take the whole value.
class CellEditDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
};

}  // namespace grid
