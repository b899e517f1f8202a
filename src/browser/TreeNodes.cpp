#include "browser/TreeNodes.h"

#include "browser/ProgramError.h"

#include <QTreeWidget>

namespace browser {

QTreeWidgetItem* TreeNodes::node(const QString& key) const
{
    QTreeWidgetItem* found = nodes_.value(key);
    if (!found)
        throw ProgramError(errnum::ElementNotFound, QStringLiteral("要素が見つかりません。"));
    return found;
}

QTreeWidgetItem* TreeNodes::makeNode(const QString& key, const QString& text)
{
    auto it = nodes_.find(key);
    if (it != nodes_.end())
        throw ProgramError(errnum::KeyNotUnique, QStringLiteral("キーがコレクション内で一意ではありません。"));
    auto* node = new QTreeWidgetItem(QStringList { text });
    node->setData(0, Qt::UserRole, key);
    nodes_.insert(key, node);
    return node;
}

void TreeNodes::removeChildren(QTreeWidgetItem* node)
{
    QList<QTreeWidgetItem*> pending { node };
    while (!pending.isEmpty()) {
        const QTreeWidgetItem* current = pending.takeLast();
        for (int i = 0, count = current->childCount(); i < count; ++i) {
            QTreeWidgetItem* child = current->child(i);
            nodes_.remove(keyOf(child));
            if (child->childCount() > 0)
                pending.append(child);
        }
    }
    // Taking them all at once: deleting them one by one makes the parent shift its list each time.
    qDeleteAll(node->takeChildren());
}

void TreeNodes::clear(QTreeWidget* tree)
{
    tree->clear();
    nodes_.clear();
}

QString TreeNodes::keyOf(const QTreeWidgetItem* node)
{
    return node->data(0, Qt::UserRole).toString();
}

QTreeWidgetItem* selectedNode(const QTreeWidget* tree)
{
    const QList<QTreeWidgetItem*> selected = tree->selectedItems();
    return selected.isEmpty() ? nullptr : selected.constFirst();
}

PendingItems::PendingItems(QTreeWidgetItem* parentNode, QTreeWidget* list)
    : parentNode_(parentNode)
    , list_(list)
{ }

PendingItems::~PendingItems()
{
    if (!nodes_.isEmpty())
        parentNode_->addChildren(nodes_);
    if (!rows_.isEmpty())
        list_->addTopLevelItems(rows_);
}

} // namespace browser
