#include "paradox/transaction.h"

#include "paradox/table_impl.h"

namespace paradox {

Transaction::Transaction(FileSystem& fs, std::string journalName) : m_fs(fs), m_journalName(std::move(journalName))
{
}

Status Transaction::add(Table& table)
{
    Table::Impl& d = *table.m_impl;
    if (m_tables.empty())
        m_folder = d.folder;
    else if (d.folder != m_folder)
        return Status::invalidArgument(d.path + ": a transaction keeps to the tables of one folder");
    if (d.editing)
        return Status::invalidArgument(d.path + ": a record is still being edited");
    if (d.posts != 0 && !d.writeChecked)
        return Status::invalidArgument(d.path + ": the table was not locked for writing");
    std::vector<FileWrites> writes;
    Status st = d.planWrites(&writes);
    if (!st.isOk())
        return st;
    for (FileWrites& w : writes)
        m_writes.push_back(std::move(w));
    m_tables.push_back(&table);
    return Status::ok();
}

Status Transaction::commit()
{
    const Journal journal(m_fs, m_folder, m_journalName);
    Status st = journal.commit(JournalKind::Change, m_writes, m_note);
    if (!st.isOk())
        return st;
    for (Table* t : m_tables)
        t->m_impl->afterCommit();
    m_writes.clear();
    m_tables.clear();
    return Status::ok();
}

} // namespace paradox
