#include "grid/data_set.h"

#include "grid/engine.h"
#include "paradox/codepage.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <unordered_set>
#include <utility>

namespace grid {
namespace {

// Tokens of the query text: words, a double-quoted name, or end.
class SqlReader {
public:
    explicit SqlReader(std::string text) : m_text(std::move(text)) {}

    bool atEnd()
    {
        skipBlanks();
        return m_pos >= m_text.size();
    }

    // The next word, or empty when the next token is not one.
    std::string word()
    {
        skipBlanks();
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && (std::isalnum(static_cast<unsigned char>(m_text[m_pos])) ||
                                         m_text[m_pos] == '_' || static_cast<unsigned char>(m_text[m_pos]) >= 0x80))
            ++m_pos;
        return m_text.substr(start, m_pos - start);
    }

    bool keyword(const char* expected)
    {
        const std::size_t save = m_pos;
        const std::string w = word();
        if (paradox::foldCase(w) == paradox::foldCase(expected))
            return true;
        m_pos = save;
        return false;
    }

    bool quoted(std::string* out)
    {
        skipBlanks();
        if (m_pos >= m_text.size() || m_text[m_pos] != '"')
            return false;
        const std::size_t close = m_text.find('"', m_pos + 1);
        if (close == std::string::npos)
            return false;
        *out = m_text.substr(m_pos + 1, close - m_pos - 1);
        m_pos = close + 1;
        return true;
    }

    std::string rest()
    {
        skipBlanks();
        return m_text.substr(m_pos, 20);
    }

private:
    void skipBlanks()
    {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
    }

    std::string m_text;
    std::size_t m_pos = 0;
};

// The table is read as its header counts; writing it waits for a repair.
std::string halfWrittenNotice(const std::string& tablePath, const paradox::HalfWritten& t)
{
    const std::string name = tablePath.substr(tablePath.find_last_of("\\/") + 1);
    std::string found = "по заголовку записей: " + std::to_string(t.headerRecords) +
                        ", блоков: " + std::to_string(t.headerBlocks) +
                        "; в файле блоков: " + std::to_string(t.fileBlocks);
    if (t.blockRecords > t.headerRecords)
        found += "; в блоках записей: " + std::to_string(t.blockRecords);
    if (t.strayBlock != 0)
        found += "; цепочка блоков продолжается до блока " + std::to_string(t.strayBlock);
    return "Таблица " + name + " записана не до конца (" + found +
           "): показаны записи по заголовку, а изменять её можно только после исправления утилитой "
           "восстановления таблиц самой базы данных";
}

} // namespace

// ---- TableDataSet ----

void TableDataSet::fail(const std::string& message) const
{
    throw Error(m_name + ": " + message);
}

void TableDataSet::raise(const paradox::Status& st) const
{
    throw Error(userPaths(st.message(), m_tableName));
}

paradox::Table& TableDataSet::table() const
{
    if (!m_table)
        fail("Cannot perform this operation on a closed dataset");
    return *m_table;
}

void TableDataSet::setTableName(const std::string& tableName)
{
    if (m_table) {
        if (tableName == m_tableName)
            return;
        fail("Cannot perform this operation on an open dataset");
    }
    m_tableName = tableName;
}

void TableDataSet::open()
{
    if (m_table)
        return;
    paradox::Table::Options options;
    options.mode = paradox::OpenMode::ReadWrite;
    options.fileSystem = m_fileSystem;
    m_fieldCache.clear();
    const paradox::Status st = paradox::Table::open(hostPath(m_tableName), options, &m_table);
    if (!st.isOk()) {
        m_table.reset();
        raise(st);
    }
}

void TableDataSet::close()
{
    if (!m_table)
        return;
    std::unique_ptr<paradox::Table> table = std::move(m_table);
    const paradox::Status st = table->close();
    if (!st.isOk())
        raise(st);
}

void TableDataSet::abandon()
{
    if (m_table)
        (void)m_table->close();
    m_table.reset();
}

void TableDataSet::lockForWriting()
{
    const paradox::Status st = table().lockForWriting();
    if (st.code() == paradox::Status::Code::ReadOnly)
        fail(st.message());
    if (!st.isOk())
        raise(st);
}

bool TableDataSet::eof() const
{
    return table().eof();
}

void TableDataSet::next()
{
    table().next();
}

std::int32_t TableDataSet::recordCount() const
{
    return static_cast<std::int32_t>(std::min<std::uint32_t>(table().recordCount(), INT32_MAX));
}

int TableDataSet::fieldByName(const std::string& fieldName) const
{
    for (const auto& [name, index] : m_fieldCache)
        if (name == fieldName)
            return index;
    const int index = table().fieldIndex(fieldName);
    if (index < 0)
        fail("Field '" + fieldName + "' not found");
    m_fieldCache.emplace_back(fieldName, index);
    return index;
}

const paradox::Field& TableDataSet::dateTimeField(int field) const
{
    const paradox::Field& f = table().fields()[static_cast<std::size_t>(field)];
    if (!paradox::isDateTimeType(f.type))
        throw Error("Cannot access field '" + f.name + "' as type DateTime");
    return f;
}

paradox::DateTime TableDataSet::asDateTime(int field) const
{
    paradox::DateTime v = 0;
    const paradox::Status st = table().readDateTime(field, &v);
    if (!st.isOk())
        raise(st);
    return v;
}

std::int32_t TableDataSet::asInteger(int field) const
{
    std::int64_t v = 0;
    const paradox::Status st = table().readInteger(field, &v);
    if (!st.isOk())
        raise(st);
    if (v < INT32_MIN || v > INT32_MAX)
        fail("Field '" + table().fields()[static_cast<std::size_t>(field)].name + "' holds " + std::to_string(v) +
             ", which is not a valid integer value");
    return static_cast<std::int32_t>(v);
}

void TableDataSet::edit()
{
    const paradox::Status st = table().edit();
    if (st.code() == paradox::Status::Code::ReadOnly)
        fail(st.message());
    if (!st.isOk())
        raise(st);
}

void TableDataSet::setAsDateTime(int field, paradox::DateTime value)
{
    const paradox::Status st = table().setDateTime(field, value);
    if (!st.isOk())
        raise(st);
}

void TableDataSet::post()
{
    const paradox::Status st = table().post();
    if (!st.isOk())
        raise(st);
}

// ---- QueryDataSet ----

void QueryDataSet::fail(const std::string& message) const
{
    throw Error(m_name + ": " + message);
}

void QueryDataSet::raise(const paradox::Status& st, const std::string& tablePath) const
{
    throw Error(userPaths(st.message(), tablePath));
}

void QueryDataSet::clearSql()
{
    if (m_open)
        fail("Cannot perform this operation on an open dataset");
    m_sql.clear();
}

void QueryDataSet::addSql(const std::string& line)
{
    if (m_open)
        fail("Cannot perform this operation on an open dataset");
    m_sql.push_back(line);
}

void QueryDataSet::open()
{
    if (m_open)
        return;
    m_notice.clear();
    std::string text;
    for (const std::string& line : m_sql)
        text += line + "\n";
    SqlReader sql(text);
    auto syntax = [&](const std::string& what) {
        fail("Invalid SQL: " + what + (sql.atEnd() ? std::string(" at the end") : " near '" + sql.rest() + "'") +
             "; only SELECT [DISTINCT] field FROM \"table\" [ORDER BY field] is understood");
    };
    if (!sql.keyword("SELECT"))
        syntax("expected SELECT");
    const bool distinct = sql.keyword("DISTINCT");
    const std::string column = sql.word();
    if (column.empty())
        syntax("expected a field name");
    if (!sql.keyword("FROM"))
        syntax("expected FROM");
    std::string path;
    if (!sql.quoted(&path))
        syntax("expected a table name in double quotes");
    bool ordered = false;
    if (sql.keyword("ORDER")) {
        if (!sql.keyword("BY"))
            syntax("expected BY");
        const std::string orderBy = sql.word();
        if (paradox::foldCase(orderBy) != paradox::foldCase(column))
            syntax("the query can only be ordered by its field");
        ordered = true;
    }
    if (!sql.atEnd())
        syntax("unexpected text");

    std::unique_ptr<paradox::Table> table;
    paradox::Table::Options options;
    options.mode = paradox::OpenMode::ReadOnly;
    paradox::Status st = paradox::Table::open(hostPath(path), options, &table);
    if (!st.isOk())
        raise(st, path);
    if (const paradox::HalfWritten* half = table->halfWritten())
        m_notice = halfWrittenNotice(path, *half);
    const int field = table->fieldIndex(column);
    if (field < 0)
        fail("Field '" + column + "' not found");
    const paradox::Field& f = table->fields()[static_cast<std::size_t>(field)];
    m_dateTimeColumn = paradox::isDateTimeType(f.type);

    std::vector<Row> rows;
    // DISTINCT keeps the first of equal rows; a grid repeats a few dozen
    // start times over many records, so sorting only those is far cheaper.
    std::unordered_set<double> seen;
    bool seenNull = false;
    for (table->first(); !table->eof(); table->next()) {
        Row r;
        r.null = table->isNull(field);
        if (m_dateTimeColumn && !r.null) {
            st = table->readDateTime(field, &r.value);
            if (!st.isOk())
                raise(st, path);
        }
        if (distinct) {
            if (r.null ? std::exchange(seenNull, true) : !seen.insert(r.value).second)
                continue;
        }
        rows.push_back(r);
    }
    st = table->checkUnchanged();
    if (st.isOk())
        st = table->close();
    if (!st.isOk())
        raise(st, path);

    // Blanks sort first, as they do in the engine's order.
    auto less = [](const Row& a, const Row& b) {
        return a.null != b.null ? a.null : (!a.null && a.value < b.value);
    };
    auto same = [](const Row& a, const Row& b) { return a.null == b.null && (a.null || a.value == b.value); };
    if (ordered || distinct)
        std::stable_sort(rows.begin(), rows.end(), less);
    if (distinct)
        rows.erase(std::unique(rows.begin(), rows.end(), same), rows.end());
    m_rows = std::move(rows);
    m_column = column;
    m_row = 0;
    m_open = true;
}

void QueryDataSet::close()
{
    m_open = false;
    m_rows.clear();
    m_row = 0;
}

void QueryDataSet::next()
{
    if (!m_open)
        fail("Cannot perform this operation on a closed dataset");
    if (m_row < m_rows.size())
        ++m_row;
}

std::int32_t QueryDataSet::recordCount() const
{
    if (!m_open)
        fail("Cannot perform this operation on a closed dataset");
    return static_cast<std::int32_t>(m_rows.size());
}

int QueryDataSet::fieldByName(const std::string& fieldName) const
{
    if (!m_open)
        fail("Cannot perform this operation on a closed dataset");
    if (paradox::foldCase(fieldName) != paradox::foldCase(m_column))
        fail("Field '" + fieldName + "' not found");
    return 0;
}

paradox::DateTime QueryDataSet::asDateTime(int) const
{
    if (!m_open)
        fail("Cannot perform this operation on a closed dataset");
    if (!m_dateTimeColumn)
        throw Error("Cannot access field '" + m_column + "' as type DateTime");
    if (m_row >= m_rows.size())
        return 0;
    const Row& r = m_rows[m_row];
    return r.null ? 0 : r.value;
}

} // namespace grid
