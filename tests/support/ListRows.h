#pragma once

// The rows of the object list and the nodes of the tree, as the window shows them.

#include "ViewItems.h"

#include <QList>
#include <QPersistentModelIndex>
#include <QString>
#include <QStringList>
#include <QTest>

class QTreeView;

namespace browsertests {

using namespace viewitems;

struct Row {
    QString no;
    QString className;
    QString name;
    QString tag;
    bool operator==(const Row&) const = default;
};

QList<Row> listRows(const QTreeView* list);

// The child whose key is `key`, as an index that stays valid while the node is in the tree.
QPersistentModelIndex childWithKey(const QModelIndex& node, const QString& key);

// Every node of the tree, depth first.
int nodeCount(const QTreeView* tree);

QModelIndex selectedNode(const QTreeView* view);

// The tags (ADsPaths) of the rows, in order.
QStringList tagsOf(const QList<Row>& rows);

QStringList namesOf(const QList<Row>& rows);

// The list's row of the entry `dn`, as an index; invalid when none lists it.
QPersistentModelIndex rowIndexOf(const QTreeView* list, const QString& dn);

// The row that lists the entry `dn`, or null.
const Row* rowWithDn(const QList<Row>& rows, const QString& dn);

} // namespace browsertests

namespace QTest {
template <> char* toString(const browsertests::Row& row);
} // namespace QTest
