#pragma once

// What tvNode and lvList show, read through their models as a view reads them: rows by index,
// the node's text (DisplayRole) and key, the row's columns and tag.

#include <QModelIndex>
#include <QString>
#include <QStringList>

class QAction;
class QMenu;
class QTreeView;

namespace viewitems {

// Rows of a list, nodes of a tree at the top level.
int rowCount(const QTreeView* view);
int childCount(const QModelIndex& node);
QModelIndex child(const QModelIndex& node, int row);
QModelIndex topNode(const QTreeView* tree, int row = 0);
QString text(const QModelIndex& index);
QString keyOf(const QModelIndex& node);
QStringList childKeys(const QModelIndex& node);
QStringList childTexts(const QModelIndex& node);

// Chooses an item of an open popup menu with the keyboard, as a person can: Qt 6.8's menu does
// not take a synthesized click on an item as a choice (Qt 6.4's does).
void chooseFromMenu(QMenu* menu, QAction* item);

} // namespace viewitems
