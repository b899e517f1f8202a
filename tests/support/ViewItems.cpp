#include "ViewItems.h"

#include "browser/NodeTreeModel.h"

#include <QMenu>
#include <QTest>
#include <QTreeView>

namespace viewitems {

int rowCount(const QTreeView* view)
{
    return view->model()->rowCount();
}

int childCount(const QModelIndex& node)
{
    return node.isValid() ? node.model()->rowCount(node) : 0;
}

QModelIndex child(const QModelIndex& node, int row)
{
    return node.model()->index(row, 0, node);
}

QModelIndex topNode(const QTreeView* tree, int row)
{
    return tree->model()->index(row, 0);
}

QString text(const QModelIndex& index)
{
    return index.data().toString();
}

QString keyOf(const QModelIndex& node)
{
    return browser::NodeTreeModel::keyOf(node);
}

QStringList childKeys(const QModelIndex& node)
{
    QStringList keys;
    for (int i = 0; i < childCount(node); ++i)
        keys.append(keyOf(child(node, i)));
    return keys;
}

QStringList childTexts(const QModelIndex& node)
{
    QStringList texts;
    for (int i = 0; i < childCount(node); ++i)
        texts.append(text(child(node, i)));
    return texts;
}

void chooseFromMenu(QMenu* menu, QAction* item)
{
    menu->setActiveAction(item);
    QTest::keyClick(menu, Qt::Key_Return);
}

} // namespace viewitems
