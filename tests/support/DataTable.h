#pragma once

// _data() tables in fewer lines: the columns in one call, and rows of texts given as lists.

#include <QString>
#include <QStringList>
#include <QTest>
#include <array>
#include <cstddef>
#include <initializer_list>
#include <utility>

// addColumns<QString, int>({ "text", "length" }): one column of each type, in order.
template <typename... Types> void addColumns(const std::array<const char*, sizeof...(Types)>& names)
{
    std::size_t i = 0;
    (QTest::addColumn<Types>(names[i++]), ...);
}

// oneColumn<bool>("exists", { { "missing", false }, { "present", true } }): a column and its rows.
template <typename T> void oneColumn(const char* column, std::initializer_list<std::pair<const char*, T>> rows)
{
    QTest::addColumn<T>(column);
    for (const auto& [name, value] : rows)
        QTest::newRow(name) << value;
}

struct TextRow {
    const char* name;
    QStringList values;
};

// A table whose columns all hold a QString: { "row name", { "first", "second" } } a row.
void textTable(std::initializer_list<const char*> columns, std::initializer_list<TextRow> rows);
