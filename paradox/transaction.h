#pragma once

#include "paradox/file_writes.h"
#include "paradox/journal.h"
#include "paradox/table.h"

#include <string>
#include <vector>

namespace paradox {

// Writes the posts of several tables of one folder together, or none of
// them, through the folder's journal (see journal.h).
//
//     Transaction tx(fs, "name.jnl");
//     tx.add(grid);     // every byte the posts change, and any key violation
//     tx.add(filling);
//     tx.commit();      // journal, tables, commit mark
class Transaction {
public:
    Transaction(FileSystem& fs, std::string journalName);

    // Works out every byte `table`'s posts change in its files: records, the
    // primary index, maintained secondary indexes, change stamps. Writes
    // nothing; fails with the reason (such as "Key violation", also for a
    // unique secondary index) when the posts cannot be written. The table
    // must stay open until the commit.
    Status add(Table& table);

    // Text kept with the change's record in the journal, for whoever reads
    // it later (say, what the change was and when).
    void setNote(std::string note) { m_note = std::move(note); }

    // Writes everything added. On success the tables' posts are written and
    // dropped; on failure the files are as they were (see Journal::commit).
    Status commit();

private:
    FileSystem& m_fs;
    std::string m_journalName;
    std::string m_folder;
    std::string m_note;
    std::vector<Table*> m_tables;
    std::vector<FileWrites> m_writes;
};

} // namespace paradox
