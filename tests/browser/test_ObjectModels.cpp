// The models behind tvNode and lvList on their own, checked by Qt's model tester throughout:
// shared texts, keys, one insertion per page, removal of whole subtrees.

#include "ErrorNumber.h"
#include "browser/NodeTreeModel.h"
#include "browser/ObjectListModel.h"
#include "browser/ProgramError.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using browser::NodeTreeModel;
using browser::ObjectListModel;
using browser::SharedText;

namespace {

QString pathOf(int k, const QString& parent = QStringLiteral("OU=big,DC=example,DC=test"))
{
    return QStringLiteral("LDAP://CN=u%1,").arg(k) + parent;
}

QString nameOf(int k)
{
    return QStringLiteral("CN=u%1").arg(k);
}

// Children first..last of `node` (under the DN `parentDn`), joining the tree as one page.
void addPage(NodeTreeModel& model, const QModelIndex& node, int first, int last,
    const QString& parentDn = QStringLiteral("OU=big,DC=example,DC=test"))
{
    NodeTreeModel::Pending pending(model, node);
    for (int k = first; k <= last; ++k)
        pending.add(SharedText(pathOf(k, parentDn), nameOf(k)));
}

// A tree with one root, checked by Qt's model tester throughout.
struct CheckedTree : NodeTreeModel {
    // The root with children 1..children as its first page.
    explicit CheckedTree(int children = 0)
    {
        if (children > 0)
            addPage(*this, root, 1, children);
    }

    // Children first..last under the k-th child of the root, whose DN is childDn(k).
    QModelIndex addPageUnder(int k, int first, int last)
    {
        const QModelIndex child = index(k - 1, 0, root);
        addPage(*this, child, first, last, childDn(k));
        return child;
    }
    static QString childDn(int k) { return pathOf(k).mid(7); }

    QAbstractItemModelTester tester { this, QAbstractItemModelTester::FailureReportingMode::QtTest };
    QModelIndex root = addRoot(QStringLiteral("LDAP://DC=example,DC=test"), QStringLiteral("example"));
};

} // namespace

class TestObjectModels : public QObject {
    Q_OBJECT

private slots:
    void sharedTextKeepsPathAndNameExactly()
    {
        for (const auto& [path, name] : { std::pair(pathOf(7), nameOf(7)),
                 { QStringLiteral("LDAP://DC=example,DC=test"), QStringLiteral("example.test") },
                 { QStringLiteral("LDAP://DC="), QString() } }) {
            const SharedText text(path, name);
            QCOMPARE(text.path(), path);
            QCOMPARE(text.name(), name);
        }
        // The name costs no characters of its own when the path holds it.
        QCOMPARE(SharedText(pathOf(7), nameOf(7)).chars.size(), pathOf(7).size());
    }

    void childrenOfAPageJoinTheTreeInOneInsertion()
    {
        CheckedTree model;
        const QModelIndex root = model.root;
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        for (int page = 0; page < 3; ++page) {
            NodeTreeModel::Pending pending(model, root);
            for (int k = page * 100 + 1; k <= page * 100 + 100; ++k)
                pending.add(SharedText(pathOf(k), nameOf(k)));
            QCOMPARE(model.rowCount(root), page * 100);
        }
        QCOMPARE(inserted.size(), 3);
        QCOMPARE(model.rowCount(root), 300);
        const QModelIndex last = model.index(299, 0, root);
        QCOMPARE(last.data().toString(), nameOf(300));
        QCOMPARE(NodeTreeModel::keyOf(last), pathOf(300));
        QCOMPARE(last.parent(), root);
        QCOMPARE(model.node(pathOf(150)), model.index(149, 0, root));
        QCOMPARE(model.size(), 301);
    }

    void aTakenKeyIsRefusedAndWhatCameBeforeStays()
    {
        CheckedTree model;
        const QModelIndex root = model.root;
        const int number = errorNumberOf<browser::ProgramError>([&] {
            NodeTreeModel::Pending pending(model, root);
            for (int k : { 1, 2, 1 })
                pending.add(SharedText(pathOf(k), nameOf(k)));
        });
        QCOMPARE(number, browser::errnum::KeyNotUnique);
        QCOMPARE(model.rowCount(root), 2);
        QCOMPARE(model.size(), 3);
        QCOMPARE(errorNumberOf<browser::ProgramError>(
                     [&] { model.addRoot(QStringLiteral("LDAP://DC=example,DC=test"), QString()); }),
            browser::errnum::KeyNotUnique);
        QCOMPARE(
            errorNumberOf<browser::ProgramError>([&] { model.node(pathOf(3)); }), browser::errnum::ElementNotFound);
    }

    // The key table holds exactly the nodes of the tree whatever becomes of a page: of no node it
    // adds roots; removed or cleared before it joins, it goes, keys and all. Its room in the tree
    // is made as it fills, so joining allocates nothing.
    void pendingNodesJoinTheTreeOrLeaveNoKeyBehind()
    {
        CheckedTree model;
        {
            NodeTreeModel::Pending roots(model, QModelIndex());
            roots.add(SharedText(pathOf(1), nameOf(1)));
        }
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.node(pathOf(1)).data().toString(), nameOf(1));
        addPage(model, model.root, 2, 3);
        {
            NodeTreeModel::Pending pending(model, model.root);
            pending.add(SharedText(pathOf(4), nameOf(4)));
            const auto& children = static_cast<const browser::TreeNode*>(model.root.internalPointer())->children;
            QVERIFY(children.capacity() >= children.size() + 1);
            model.removeChildren(model.root);
        }
        QCOMPARE(model.rowCount(model.root), 0);
        QVERIFY(!model.contains(pathOf(4)));
        QCOMPARE(model.size(), 2);
        addPage(model, model.root, 2, 9);
        {
            // Most keys leave, so the table is made anew: the open page's keys stay in it.
            NodeTreeModel::Pending roots(model, QModelIndex());
            roots.add(SharedText(pathOf(10), nameOf(10)));
            model.removeChildren(model.root);
        }
        QCOMPARE(model.node(pathOf(10)).data().toString(), nameOf(10));
        QCOMPARE(model.size(), 3);
        {
            NodeTreeModel::Pending roots(model, QModelIndex());
            roots.add(SharedText(pathOf(11), nameOf(11)));
            model.clear();
        }
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.size(), 0);
    }

    void removingChildrenFreesTheKeysOfTheWholeSubtree()
    {
        CheckedTree model(3);
        const QModelIndex root = model.root;
        const QPersistentModelIndex second = model.addPageUnder(2, 9, 9);
        QPersistentModelIndex grandchild = model.index(0, 0, second);
        QVERIFY(grandchild.isValid());
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);

        model.removeChildren(root);

        QCOMPARE(removed.size(), 1);
        QCOMPARE(model.rowCount(root), 0);
        QVERIFY(!second.isValid());
        QVERIFY(!grandchild.isValid());
        QCOMPARE(model.size(), 1);
        QCOMPARE(errorNumberOf<browser::ProgramError>([&] { model.node(pathOf(9, CheckedTree::childDn(2))); }),
            browser::errnum::ElementNotFound);
        // The same keys can be listed again.
        addPage(model, root, 2, 2);
        QCOMPARE(model.node(pathOf(2)), model.index(0, 0, root));

        model.clear();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.size(), 0);
    }

    void removingAFewChildrenAmongManyKeepsEveryOtherKey()
    {
        CheckedTree model(200);
        const QModelIndex tenth = model.addPageUnder(10, 1, 5);
        QCOMPARE(model.size(), 206);

        model.removeChildren(tenth);

        QCOMPARE(model.size(), 201);
        for (int k = 1; k <= 5; ++k)
            QVERIFY(!model.contains(pathOf(k, CheckedTree::childDn(10))));
        for (int k = 1; k <= 200; ++k)
            QCOMPARE(model.node(pathOf(k)), model.index(k - 1, 0, model.root));
    }

    void japaneseTextsRoundTripAndKeysAreExact()
    {
        const QString path = QStringLiteral("LDAP://dc1.example.test/CN=山田 太郎,OU=営業部,DC=example,DC=test");
        // The second is a name the path does not hold (an escaped RDN): it is kept after it.
        for (const auto& [fullPath, name] : { std::pair(path, QStringLiteral("CN=山田 太郎")),
                 { QStringLiteral("LDAP://CN=a\\,b,DC=example,DC=test"), QStringLiteral("CN=a,b") } }) {
            const SharedText text(fullPath, name);
            QCOMPARE(text.path(), fullPath);
            QCOMPARE(text.name(), name);
        }

        NodeTreeModel model;
        const QModelIndex root = model.addRoot(path, QStringLiteral("山田"));
        QCOMPARE(NodeTreeModel::keyOf(root), path);
        QCOMPARE(root.data().toString(), QStringLiteral("山田"));
        QCOMPARE(model.node(path), root);
        QVERIFY(!model.contains(QString(path).replace(QStringLiteral("営業部"), QStringLiteral("営業課"))));
        QVERIFY(!model.contains(path.toLower()));
    }

    void listRowsNumberThemselvesAndKeepTheirClassAndTag()
    {
        ObjectListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QStringList headings { QStringLiteral("No"), QStringLiteral("種類"), QStringLiteral("名称") };
        for (int column = 0; column < 3; ++column)
            QCOMPARE(model.headerData(column, Qt::Horizontal).toString(), headings.at(column));
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        const QStringList classes { QStringLiteral("user"), QStringLiteral("inetOrgPerson"),
            QStringLiteral("organizationalUnit") };
        {
            ObjectListModel::Pending rows(model);
            for (int k = 1; k <= 3; ++k)
                rows.add(SharedText(pathOf(k), nameOf(k)), classes.at(k - 1));
        }
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(model.rowCount(), 3);
        const auto cell = [&](int row, int column) { return model.index(row, column).data().toString(); };
        QCOMPARE(QStringList({ cell(1, 0), cell(1, 1), cell(1, 2) }),
            QStringList({ QStringLiteral("2"), QStringLiteral("inetOrgPerson"), nameOf(2) }));
        for (int row : { 0, 2 })
            QCOMPARE(cell(row, 1), classes.at(row));
        QCOMPARE(model.index(2, 0).data(ObjectListModel::TagRole).toString(), pathOf(3));
        QCOMPARE(model.tag(0), pathOf(1));
        QVERIFY(!model.hasChildren(model.index(0, 0)));

        model.clear();
        QCOMPARE(model.rowCount(), 0);
        {
            ObjectListModel::Pending rows(model);
            rows.add(SharedText(pathOf(4), nameOf(4)), QStringLiteral("group"));
        }
        QCOMPARE(cell(0, 0), QStringLiteral("1"));
        QCOMPARE(cell(0, 1), QStringLiteral("group"));
    }
};

QTEST_MAIN(TestObjectModels)
#include "test_ObjectModels.moc"
