#include "grid/recovery.h"

#include "grid/engine.h"
#include "paradox/journal.h"

namespace grid {
namespace {

std::string folderText(const std::string& prefix)
{
    return prefix.empty() ? std::string("the current folder") : prefix;
}

std::string fileList(const std::vector<std::string>& files)
{
    std::string out;
    for (std::size_t i = 0; i < files.size(); ++i)
        out += (i == 0 ? "" : i + 1 == files.size() ? " and " : ", ") + files[i];
    return out;
}

paradox::Journal journalOf(const std::string& prefix)
{
    return paradox::Journal(paradox::FileSystem::standard(), hostFolder(prefix), kJournalName);
}

// Names every file of the folder as the user typed the folder.
[[noreturn]] void raise(const paradox::Status& st, const std::string& prefix)
{
    throw Error(userPaths(st.message(), prefix + kJournalName));
}

} // namespace

void recoverFolder(const std::string& prefix, LoadView& view)
{
    paradox::Recovery recovery;
    const paradox::Status st = journalOf(prefix).recover(&recovery);
    if (!st.isOk())
        raise(st, prefix);
    switch (recovery.outcome) {
    case paradox::Recovery::Outcome::Nothing:
        break;
    case paradox::Recovery::Outcome::RolledBack:
        view.showNotice("A shift in " + folderText(prefix) + " was interrupted and has been undone: " +
                        fileList(recovery.files) + " are as they were before it");
        break;
    case paradox::Recovery::Outcome::RemovedTorn:
        view.showNotice("An unfinished record of a shift in " + folderText(prefix) +
                        " was removed; that shift never began to write, and the tables were not changed");
        break;
    }
}

std::string undoLastShift(const std::string& prefix)
{
    std::vector<std::string> files;
    const paradox::Status st = journalOf(prefix).undoLast(&files);
    if (!st.isOk())
        raise(st, prefix);
    return "The last shift in " + folderText(prefix) + " has been undone: " + fileList(files) +
           " are as they were before it";
}

} // namespace grid
