#include "browser/NodeTreeModel.h"

#include "browser/ProgramError.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

#include <algorithm>

namespace browser {

namespace {

// Every node of `nodes` and of all below them, without recursion: a tree may be deep.
template <typename Visit> void forEachNode(const std::vector<std::unique_ptr<TreeNode>>& nodes, const Visit& visit)
{
    std::vector<const std::vector<std::unique_ptr<TreeNode>>*> pending { &nodes };
    while (!pending.empty()) {
        const auto* current = pending.back();
        pending.pop_back();
        for (const auto& node : *current) {
            visit(node.get());
            if (!node->children.empty())
                pending.push_back(&node->children);
        }
    }
}

} // namespace

NodeTreeModel::NodeTreeModel(QObject* parent)
    : QAbstractItemModel(parent)
{ }

NodeTreeModel::~NodeTreeModel() = default;

TreeNode* NodeTreeModel::nodeOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<TreeNode*>(index.internalPointer()) : nullptr;
}

QModelIndex NodeTreeModel::indexOf(const TreeNode* node) const
{
    return node ? createIndex(node->row, 0, node) : QModelIndex();
}

QModelIndex NodeTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    const auto& siblings = parent.isValid() ? nodeOf(parent)->children : roots_;
    if (static_cast<size_t>(row) >= siblings.size())
        return {};
    return createIndex(row, 0, siblings[static_cast<size_t>(row)].get());
}

QModelIndex NodeTreeModel::parent(const QModelIndex& child) const
{
    const TreeNode* node = nodeOf(child);
    return node ? indexOf(node->parent) : QModelIndex();
}

int NodeTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return static_cast<int>(parent.isValid() ? nodeOf(parent)->children.size() : roots_.size());
}

int NodeTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool NodeTreeModel::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

QVariant NodeTreeModel::data(const QModelIndex& index, int role) const
{
    const TreeNode* node = nodeOf(index);
    if (!node)
        return {};
    if (role == Qt::DisplayRole)
        return node->name();
    if (role == KeyRole)
        return node->path();
    return {};
}

Qt::ItemFlags NodeTreeModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QModelIndex NodeTreeModel::node(const QString& key) const
{
    const auto* found = static_cast<const TreeNode*>(keys_.find(key.toUtf8()));
    if (!found)
        throw ProgramError(errnum::ElementNotFound, QStringLiteral("要素が見つかりません。"));
    return indexOf(found);
}

void NodeTreeModel::takeKey(const TreeNode* node)
{
    if (!keys_.insert(node))
        throw ProgramError(errnum::KeyNotUnique, QStringLiteral("キーがコレクション内で一意ではありません。"));
}

QModelIndex NodeTreeModel::addRoot(const QString& key, const QString& text)
{
    auto node = std::make_unique<TreeNode>();
    static_cast<SharedText&>(*node) = SharedText(key, text);
    takeKey(node.get());
    const int row = static_cast<int>(roots_.size());
    node->row = row;
    beginInsertRows({}, row, row);
    roots_.push_back(std::move(node));
    endInsertRows();
    return indexOf(roots_.back().get());
}

// The table made again from the nodes still in the tree and those of the open pages: cheaper
// than taking out one key at a time when most of them are leaving.
void NodeTreeModel::retakeAllKeys()
{
    keys_.clear();
    forEachNode(roots_, [this](const TreeNode* node) { keys_.insert(node); });
    for (const Pending* page : pages_)
        if (!page->siblingsRemoved_)
            for (const auto& node : page->nodes_)
                keys_.insert(node.get());
}

void NodeTreeModel::siblingsRemoved(const TreeNode* node)
{
    for (Pending* page : pages_)
        if (!node || page->parent_ == node)
            page->siblingsRemoved_ = true;
}

void NodeTreeModel::removeChildren(const QModelIndex& index)
{
    TreeNode* node = nodeOf(index);
    if (!node || node->children.empty())
        return;
    siblingsRemoved(node);
    beginRemoveRows(index, 0, static_cast<int>(node->children.size()) - 1);
    // Swapped out first: the vector is empty before a single child is destroyed.
    std::vector<std::unique_ptr<TreeNode>> removed;
    removed.swap(node->children);
    if (removed.size() * 2 > static_cast<size_t>(keys_.size()))
        retakeAllKeys();
    else
        forEachNode(removed, [this](const TreeNode* gone) { keys_.remove(gone); });
    removed.clear();
    endRemoveRows();
}

void NodeTreeModel::clear()
{
    siblingsRemoved(nullptr);
    beginResetModel();
    keys_.clear();
    roots_.clear();
    endResetModel();
}

QString NodeTreeModel::keyOf(const QModelIndex& node)
{
    return node.data(KeyRole).toString();
}

NodeTreeModel::Pending::Pending(NodeTreeModel& model, const QModelIndex& parentNode)
    : parent_(model.nodeOf(parentNode))
    , siblings_(parent_ ? parent_->children : model.roots_)
    , model_(model)
{
    model_.pages_.push_back(this);
}

void NodeTreeModel::Pending::add(const SharedText& text)
{
    // Room in the tree is made here, so that joining it in the destructor allocates nothing.
    // Grown by doubling, so that a long listing copies each child a bounded number of times.
    const size_t needed = siblings_.size() + nodes_.size() + 1;
    if (needed > siblings_.capacity())
        siblings_.reserve(std::max(needed, 2 * siblings_.capacity()));
    auto node = std::make_unique<TreeNode>();
    static_cast<SharedText&>(*node) = text;
    node->parent = parent_;
    TreeNode* made = node.get();
    nodes_.push_back(std::move(node));
    try {
        model_.takeKey(made);
    } catch (...) {
        nodes_.pop_back();
        throw;
    }
}

NodeTreeModel::Pending::~Pending()
{
    std::erase(model_.pages_, this);
    if (nodes_.empty())
        return;
    if (siblingsRemoved_) {
        for (const auto& node : nodes_)
            model_.keys_.remove(node.get());
        return;
    }
    const int first = static_cast<int>(siblings_.size());
    model_.beginInsertRows(model_.indexOf(parent_), first, first + static_cast<int>(nodes_.size()) - 1);
    int row = first;
    for (auto& node : nodes_) {
        node->row = row++;
        siblings_.push_back(std::move(node));
    }
    model_.endInsertRows();
}

QModelIndex selectedIndex(const QAbstractItemView* view)
{
    const QItemSelectionModel* selection = view->selectionModel();
    if (!selection)
        return {};
    const QModelIndexList selected = selection->selectedIndexes();
    return selected.isEmpty() ? QModelIndex() : selected.constFirst().siblingAtColumn(0);
}

} // namespace browser
