#pragma once

#include <QHash>
#include <QList>
#include <QString>

class QTreeWidget;
class QTreeWidgetItem;

namespace browser {

// The key of every node of tvNode (its ADsPath) and the node of every key. A view has no
// lookup by data of its own; a linear search would make every listing of a big tree slow.
class TreeNodes {
public:
    // The node whose key is `key`; throws ProgramError (element not found) when there is none.
    QTreeWidgetItem* node(const QString& key) const;
    bool contains(const QString& key) const { return nodes_.contains(key); }
    qsizetype size() const { return nodes_.size(); }

    // A new node that is in no tree yet; its key is taken from now on. Throws ProgramError when
    // the key is already taken (keys are unique within the tree).
    QTreeWidgetItem* makeNode(const QString& key, const QString& text);
    // Deletes every child of `node` with its whole subtree and frees their keys.
    void removeChildren(QTreeWidgetItem* node);
    // Removes every node of `tree` and frees every key.
    void clear(QTreeWidget* tree);

    static QString keyOf(const QTreeWidgetItem* node);

private:
    QHash<QString, QTreeWidgetItem*> nodes_;
};

// tvNode's SelectedItem: the selected node, or nullptr when none is.
QTreeWidgetItem* selectedNode(const QTreeWidget* tree);

// Children of one node and rows of the list made during one page of an enumeration, added to
// their views in one call each when the page is done (or when it fails, so that nothing made is
// lost): adding them one by one relayouts the views every time.
class PendingItems {
public:
    PendingItems(QTreeWidgetItem* parentNode, QTreeWidget* list);
    ~PendingItems();
    PendingItems(const PendingItems&) = delete;
    PendingItems& operator=(const PendingItems&) = delete;

    void addNode(QTreeWidgetItem* node) { nodes_.append(node); }
    void addRow(QTreeWidgetItem* row) { rows_.append(row); }

private:
    QTreeWidgetItem* parentNode_;
    QTreeWidget* list_;
    QList<QTreeWidgetItem*> nodes_;
    QList<QTreeWidgetItem*> rows_;
};

} // namespace browser
