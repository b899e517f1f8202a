#pragma once

#include "browser/SharedText.h"

#include <QAbstractItemModel>
#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

namespace browser {

// The classes a listing yields, in the order the container is given them.
const QStringList& listedClasses();

// One row of lvList; its "No" is its row number plus one.
struct ListRow : SharedText {
    quint32 classIndex = 0;
};

// lvList's rows: "No" (computed from the row), "種類", "名称", and the tag (ADsPath, TagRole).
class ObjectListModel : public QAbstractItemModel {
    Q_OBJECT

public:
    static constexpr int TagRole = Qt::UserRole;

    explicit ObjectListModel(QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void clear();
    QString tag(int row) const;

    // Rows made during one page of a listing, appended in one insertion when the page ends.
    class Pending {
    public:
        explicit Pending(ObjectListModel& model)
            : model_(model)
        { }
        ~Pending();
        Pending(const Pending&) = delete;
        Pending& operator=(const Pending&) = delete;

        void add(const SharedText& text, const QString& className);

    private:
        ObjectListModel& model_;
        std::vector<ListRow> rows_;
    };

private:
    quint32 classIndex(const QString& className);

    // A deque: the rows already in are never copied as it grows.
    std::deque<ListRow> rows_;
    // The five classes of the filter first; any other class a server reports is added after them.
    QStringList classes_;
};

} // namespace browser
