#pragma once

// The two data sets the window owns, over the paradox library: a table for
// the shift and a query for the load. Their errors read as the window's
// components' do ("Table1: Field 'FTime' not found"); failures of the files
// themselves keep the library's own text.

#include "grid/errors.h"
#include "paradox/datetime.h"
#include "paradox/table.h"

#include <memory>
#include <string>
#include <vector>

namespace grid {

// A table opened by name and walked from its first record.
class TableDataSet {
public:
    explicit TableDataSet(std::string name = "Table1") : m_name(std::move(name)) {}

    const std::string& name() const { return m_name; }

    // Where tables are opened; the system's files unless a test says otherwise.
    void setFileSystem(paradox::FileSystem* fs) { m_fileSystem = fs; }
    paradox::FileSystem& fileSystem() const
    {
        return m_fileSystem ? *m_fileSystem : paradox::FileSystem::standard();
    }

    // A Windows-style path (see hostPath). While open, the same name again
    // does nothing and another one is refused.
    void setTableName(const std::string& tableName);
    const std::string& tableName() const { return m_tableName; }

    // Opening an open data set does nothing.
    void open();
    void close();
    bool active() const { return m_table != nullptr; }

    bool eof() const;
    void next();
    std::int32_t recordCount() const;

    // A field's position; letter case is ignored.
    int fieldByName(const std::string& fieldName) const;
    paradox::DateTime asDateTime(int field) const;
    std::int32_t asInteger(int field) const;
    // For walks that read records' bytes (see paradox::Table::currentRun):
    // the field, checked to read as a date-time, raising what asDateTime
    // would raise.
    const paradox::Field& dateTimeField(int field) const;

    void edit();
    void setAsDateTime(int field, paradox::DateTime value);
    // Keeps the record for the transaction that writes the table (see
    // paradox::Table::post).
    void post();

    // Checks that the table can be written and takes its locks.
    void lockForWriting();
    // The open table, for the transaction that writes its posts.
    paradox::Table& table() const;
    // Closes, dropping any posts not written and any error: the way out
    // after a failure.
    void abandon();

private:
    [[noreturn]] void fail(const std::string& message) const;
    [[noreturn]] void raise(const paradox::Status& st) const;

    std::string m_name;
    std::string m_tableName;
    paradox::FileSystem* m_fileSystem = nullptr;
    std::unique_ptr<paradox::Table> m_table;
    // Walks ask for the same few fields by name on every record.
    mutable std::vector<std::pair<std::string, int>> m_fieldCache;
};

// The load's query: SELECT [DISTINCT] field FROM "path" [ORDER BY field],
// keywords in any letter case, over one table. Rows are read-only.
class QueryDataSet {
public:
    explicit QueryDataSet(std::string name = "Query1") : m_name(std::move(name)) {}

    const std::string& name() const { return m_name; }

    // The SQL text, a line at a time; only while closed.
    void clearSql();
    void addSql(const std::string& line);
    const std::vector<std::string>& sql() const { return m_sql; }

    void open();
    void close();
    bool active() const { return m_open; }

    bool eof() const { return m_row >= m_rows.size(); }
    void next();
    std::int32_t recordCount() const;

    int fieldByName(const std::string& fieldName) const;
    paradox::DateTime asDateTime(int field) const;

    // What the last open found amiss in a table it could still read, in one
    // line for the user; empty when nothing. Kept until the next open.
    const std::string& notice() const { return m_notice; }

private:
    [[noreturn]] void raise(const paradox::Status& st, const std::string& tablePath) const;

    struct Row {
        bool null = false;
        paradox::DateTime value = 0;
    };

    [[noreturn]] void fail(const std::string& message) const;

    std::string m_name;
    std::vector<std::string> m_sql;
    bool m_open = false;
    std::string m_column;
    bool m_dateTimeColumn = true;
    std::vector<Row> m_rows;
    std::size_t m_row = 0;
    std::string m_notice;
};

} // namespace grid
