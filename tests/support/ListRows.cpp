#include "ListRows.h"

#include "browser/NodeTreeModel.h"
#include "browser/ObjectListModel.h"

#include <QTreeView>

namespace browsertests {

QList<Row> listRows(const QTreeView* list)
{
    QList<Row> rows;
    const QAbstractItemModel* model = list->model();
    for (int i = 0; i < model->rowCount(); ++i) {
        rows.append({ model->index(i, 0).data().toString(), model->index(i, 1).data().toString(),
            model->index(i, 2).data().toString(),
            model->index(i, 0).data(browser::ObjectListModel::TagRole).toString() });
    }
    return rows;
}

QPersistentModelIndex childWithKey(const QModelIndex& node, const QString& key)
{
    for (int i = 0; i < childCount(node); ++i) {
        if (keyOf(child(node, i)) == key)
            return child(node, i);
    }
    return {};
}

int nodeCount(const QTreeView* tree)
{
    int count = 0;
    QList<QModelIndex> pending;
    for (int i = 0; i < rowCount(tree); ++i)
        pending.append(topNode(tree, i));
    while (!pending.isEmpty()) {
        const QModelIndex node = pending.takeLast();
        ++count;
        for (int i = 0; i < childCount(node); ++i)
            pending.append(child(node, i));
    }
    return count;
}

QModelIndex selectedNode(const QTreeView* view)
{
    return browser::selectedIndex(view);
}

QStringList tagsOf(const QList<Row>& rows)
{
    QStringList tags;
    for (const Row& row : rows)
        tags.append(row.tag);
    return tags;
}

QStringList namesOf(const QList<Row>& rows)
{
    QStringList names;
    for (const Row& row : rows)
        names.append(row.name);
    return names;
}

QPersistentModelIndex rowIndexOf(const QTreeView* list, const QString& dn)
{
    for (int i = 0; i < rowCount(list); ++i) {
        if (topNode(list, i).data(browser::ObjectListModel::TagRole).toString() == QStringLiteral("LDAP://") + dn)
            return topNode(list, i);
    }
    return {};
}

const Row* rowWithDn(const QList<Row>& rows, const QString& dn)
{
    for (const Row& row : rows) {
        if (row.tag == QStringLiteral("LDAP://") + dn)
            return &row;
    }
    return nullptr;
}

} // namespace browsertests

namespace QTest {
template <> char* toString(const browsertests::Row& row)
{
    return qstrdup(QStringLiteral("[%1|%2|%3|%4]").arg(row.no, row.className, row.name, row.tag).toUtf8().constData());
}
} // namespace QTest
