#include "browser/ObjectListModel.h"

namespace browser {

const QStringList& listedClasses()
{
    static const QStringList classes { QStringLiteral("container"), QStringLiteral("organizationalUnit"),
        QStringLiteral("group"), QStringLiteral("computer"), QStringLiteral("user") };
    return classes;
}

ObjectListModel::ObjectListModel(QObject* parent)
    : QAbstractItemModel(parent)
    , classes_(listedClasses())
{ }

QModelIndex ObjectListModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || row < 0 || column < 0 || column >= 3 || static_cast<size_t>(row) >= rows_.size())
        return {};
    return createIndex(row, column);
}

QModelIndex ObjectListModel::parent(const QModelIndex&) const
{
    return {};
}

int ObjectListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ObjectListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 3;
}

bool ObjectListModel::hasChildren(const QModelIndex& parent) const
{
    return !parent.isValid() && !rows_.empty();
}

QVariant ObjectListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || static_cast<size_t>(index.row()) >= rows_.size())
        return {};
    const ListRow& row = rows_[static_cast<size_t>(index.row())];
    if (role == TagRole)
        return row.path();
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case 0:
        return QString::number(index.row() + 1);
    case 1:
        return classes_.at(row.classIndex);
    case 2:
        return row.name();
    default:
        return {};
    }
}

QVariant ObjectListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case 0:
        return QStringLiteral("No");
    case 1:
        return QStringLiteral("種類");
    case 2:
        return QStringLiteral("名称");
    default:
        return {};
    }
}

Qt::ItemFlags ObjectListModel::flags(const QModelIndex& index) const
{
    // Never having children spares the view a lookup per row at every layout.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}

void ObjectListModel::clear()
{
    beginResetModel();
    std::deque<ListRow>().swap(rows_);
    classes_ = listedClasses();
    endResetModel();
}

QString ObjectListModel::tag(int row) const
{
    return row >= 0 && static_cast<size_t>(row) < rows_.size() ? rows_[static_cast<size_t>(row)].path() : QString();
}

quint32 ObjectListModel::classIndex(const QString& className)
{
    const qsizetype known = classes_.indexOf(className);
    if (known >= 0)
        return static_cast<quint32>(known);
    classes_.append(className);
    return static_cast<quint32>(classes_.size() - 1);
}

void ObjectListModel::Pending::add(const SharedText& text, const QString& className)
{
    ListRow row;
    static_cast<SharedText&>(row) = text;
    row.classIndex = model_.classIndex(className);
    rows_.push_back(std::move(row));
}

ObjectListModel::Pending::~Pending()
{
    if (rows_.empty())
        return;
    const int first = static_cast<int>(model_.rows_.size());
    model_.beginInsertRows({}, first, first + static_cast<int>(rows_.size()) - 1);
    for (ListRow& row : rows_)
        model_.rows_.push_back(std::move(row));
    model_.endInsertRows();
}

} // namespace browser
