#pragma once

// What tvNode and lvList show, read through their models as a view reads them: rows by index,
// the node's text (DisplayRole) and key, the row's columns and tag.

#include "browser/NodeTreeModel.h"

#include <QAction>
#include <QMenu>
#include <QStringList>
#include <QTest>
#include <QTreeView>

namespace viewitems {

// Rows of a list, nodes of a tree at the top level.
inline int rowCount(const QTreeView* view)
{
    return view->model()->rowCount();
}

inline int childCount(const QModelIndex& node)
{
    return node.isValid() ? node.model()->rowCount(node) : 0;
}

inline QModelIndex child(const QModelIndex& node, int row)
{
    return node.model()->index(row, 0, node);
}

inline QModelIndex topNode(const QTreeView* tree, int row = 0)
{
    return tree->model()->index(row, 0);
}

inline QString text(const QModelIndex& index)
{
    return index.data().toString();
}

inline QString keyOf(const QModelIndex& node)
{
    return browser::NodeTreeModel::keyOf(node);
}

inline QStringList childKeys(const QModelIndex& node)
{
    QStringList keys;
    for (int i = 0; i < childCount(node); ++i)
        keys.append(keyOf(child(node, i)));
    return keys;
}

inline QStringList childTexts(const QModelIndex& node)
{
    QStringList texts;
    for (int i = 0; i < childCount(node); ++i)
        texts.append(text(child(node, i)));
    return texts;
}

// Chooses an item of an open popup menu with the keyboard, as a person can: Qt 6.8's menu does
// not take a synthesized click on an item as a choice (Qt 6.4's does).
inline void chooseFromMenu(QMenu* menu, QAction* item)
{
    menu->setActiveAction(item);
    QTest::keyClick(menu, Qt::Key_Return);
}

} // namespace viewitems
