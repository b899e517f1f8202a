#include "DataTable.h"

void textTable(std::initializer_list<const char*> columns, std::initializer_list<TextRow> rows)
{
    for (const char* column : columns)
        QTest::addColumn<QString>(column);
    for (const TextRow& row : rows) {
        QTestData& data = QTest::newRow(row.name);
        for (const QString& value : row.values)
            data << value;
    }
}
