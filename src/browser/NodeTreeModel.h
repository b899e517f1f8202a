#pragma once

#include "browser/NodeKeys.h"
#include "browser/SharedText.h"

#include <QAbstractItemModel>
#include <QString>
#include <memory>
#include <vector>

class QAbstractItemView;

namespace browser {

// One node of tvNode. The row is its place among its parent's children: children are only ever
// appended, or all removed at once, so it never changes.
struct TreeNode : SharedText {
    TreeNode* parent = nullptr;
    int row = 0;
    std::vector<std::unique_ptr<TreeNode>> children;
};

// tvNode's nodes. Key (ADsPath, KeyRole) and text (DisplayRole) per node; every key once in the
// tree, found through the key table: a view has no lookup by data of its own.
class NodeTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    static constexpr int KeyRole = Qt::UserRole;

    explicit NodeTreeModel(QObject* parent = nullptr);
    ~NodeTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The node whose key is `key`; throws ProgramError (element not found) when there is none.
    QModelIndex node(const QString& key) const;
    bool contains(const QString& key) const { return keys_.find(key.toUtf8()) != nullptr; }
    // Nodes in the whole tree.
    qsizetype size() const { return keys_.size(); }

    // A node without a parent. Throws ProgramError when the key is already taken.
    QModelIndex addRoot(const QString& key, const QString& text);
    // Removes every child of `node` with its whole subtree, in one model operation; an open page
    // of `node` goes with them.
    void removeChildren(const QModelIndex& node);
    // Removes every node, those of open pages too.
    void clear();

    static QString keyOf(const QModelIndex& node);

    // Children of one node made during one page of a listing (of no node: new roots). Each key is
    // taken when the child is made; the children join the tree in one insertion when the page ends
    // (or fails, so that nothing made is lost). The node must stay in the tree meanwhile, with no
    // other page of it open: the room add() makes in the tree is for this page alone.
    class Pending {
    public:
        Pending(NodeTreeModel& model, const QModelIndex& parentNode);
        ~Pending();
        Pending(const Pending&) = delete;
        Pending& operator=(const Pending&) = delete;

        // Throws ProgramError when the key is already taken.
        void add(const SharedText& text);

    private:
        friend class NodeTreeModel;

        TreeNode* parent_;
        std::vector<std::unique_ptr<TreeNode>>& siblings_;
        NodeTreeModel& model_;
        std::vector<std::unique_ptr<TreeNode>> nodes_;
        // The parent's children were removed (or the tree cleared) meanwhile: these go with them.
        bool siblingsRemoved_ = false;
    };

private:
    TreeNode* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(const TreeNode* node) const;
    void takeKey(const TreeNode* node);
    void retakeAllKeys();
    // Tells the open pages of `node` (every page when null) that their siblings are gone.
    void siblingsRemoved(const TreeNode* node);

    std::vector<std::unique_ptr<TreeNode>> roots_;
    // Every key of the tree and of the open pages' nodes.
    NodeKeys keys_;
    std::vector<Pending*> pages_;
};

// The view's selected row (column 0), or an invalid index when none is selected.
QModelIndex selectedIndex(const QAbstractItemView* view);

} // namespace browser
