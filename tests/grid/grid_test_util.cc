#include "grid_test_util.h"

#include "grid/data_set.h"
#include "grid/engine.h"

#include <filesystem>

namespace {

// Folder names are UTF-8; a plain string means the ANSI code page on Windows.
std::filesystem::path fromUtf8(const std::string& s)
{
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

std::string toUtf8(const std::filesystem::path& p)
{
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

} // namespace

CurrentFolder::CurrentFolder(const std::string& folder) : m_previous(toUtf8(std::filesystem::current_path()))
{
    std::filesystem::current_path(fromUtf8(folder));
}

CurrentFolder::~CurrentFolder()
{
    std::filesystem::current_path(fromUtf8(m_previous));
}

std::string shiftEverywhere(const std::string& folder, paradox::FileSystem& fs, int oldMinute, int newMinute,
                            double seconds)
{
    grid::Engine engine;
    engine.BaseFolder = folder + "/";
    engine.OldMinute = oldMinute;
    grid::TableDataSet table;
    table.setFileSystem(&fs);
    grid::QueryDataSet query;
    RecordingProgress progress;
    RecordingView view;
    const Ticks days(7), hours(24);
    grid::ShiftInputs in;
    in.newMinute = newMinute;
    in.blockSize = [seconds] { return seconds / 86400; };
    in.folderText = [&] { return folder; };
    const std::string error = messageOf([&] {
        grid::shiftMinute(engine, in, grid::DayHourFilter(days, hours), table, query, progress, view);
    });
    return error == "(no error)" ? std::string() : error;
}
