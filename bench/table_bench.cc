// Walk and post timings of the table library on large generated tables,
// each beside the time to read the same file into memory in one go.
//
//   table_bench [FOLDER] [RECORDS...]      (defaults: a temporary folder; 100000 1000000)

#include "bench_util.h"
#include "paradox/table.h"
#include "paradox/table_builder.h"

#include <algorithm>
#if defined(__unix__)
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using bench::check;
using bench::Clock;
using bench::msSince;
using bench::sequentialReadMs;
using bench::value;
namespace fs = std::filesystem;

// A block-filling table as a station's would be: dated blocks at four
// minutes of every hour.
void generate(const std::string& path, std::size_t records, bool keyed)
{
    using paradox::FieldType;
    using Kind = paradox::Value::Kind;
    paradox::CreateOptions o;
    o.keyFields = keyed ? 2 : 0;
    std::unique_ptr<paradox::TableBuilder> b;
    paradox::Status st = paradox::TableBuilder::create({{"FDate", FieldType::Date},
                                                        {"FTime", FieldType::Time},
                                                        {"FSpots", FieldType::Short},
                                                        {"FFilled", FieldType::Time},
                                                        {"FNote", FieldType::Alpha, 40}},
                                                       o, &b);
    paradox::Value note;
    note.kind = Kind::Text;
    note.text = "sponsor spot";
    const std::int64_t firstDay = paradox::dayNumberFromCivil({2020, 1, 1});
    for (std::size_t i = 0; st.isOk() && i < records; ++i) {
        const std::int64_t slot = static_cast<std::int64_t>(i % 96);
        const std::int64_t ms = (slot / 4 * 60 + slot % 4 * 15) * 60000;
        st = b->addRecord({value(Kind::Date, firstDay + static_cast<std::int64_t>(i / 96)), value(Kind::Time, ms),
                           value(Kind::Integer, 3), value(Kind::Time, 90000), note});
    }
    if (st.isOk())
        st = b->write(path);
    check(st);
}

// The same read into newly allocated memory, as a program reading a table
// into memory would do; shown for comparison.
double freshReadMs(const std::string& path)
{
    std::vector<double> runs;
    for (int r = 0; r < 5; ++r) {
        const auto start = Clock::now();
        std::unique_ptr<char[]> buffer(new char[fs::file_size(path)]);
        std::ifstream in(path, std::ios::binary);
        in.read(buffer.get(), static_cast<std::streamsize>(fs::file_size(path)));
        runs.push_back(msSince(start));
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

#if defined(__unix__)
// The least a walk posting every fourth record can cost here: one byte
// stored at the same spacing straight into a shared mapping of the file,
// with no table code at all. On some virtual machines the first store into
// each page traps to the host, and that dominates.
double rawStoresMs(const std::string& path, std::size_t recordSize)
{
    const int fd = ::open(path.c_str(), O_RDWR);
    const std::size_t size = fs::file_size(path);
    auto* map = static_cast<volatile unsigned char*>(::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd,
                                                            0));
    const auto start = Clock::now();
    for (std::size_t at = 0x800 + 6; at + recordSize < size; at += 4 * recordSize)
        map[at + 4] = static_cast<unsigned char>(map[at + 4] + 1);
    const double ms = msSince(start);
    ::munmap(const_cast<unsigned char*>(map), size);
    ::close(fd);
    return ms;
}
#endif

struct Timing {
    double walkMs = 0;
    double closeMs = 0;
    std::size_t records = 0;
    std::size_t posts = 0;
};

// Walks the table reading FTime; with `postField`, every fourth record gets
// that field moved on by a minute and posted.
Timing walk(const std::string& path, const char* postField)
{
    Timing t;
    const auto start = Clock::now();
    std::unique_ptr<paradox::Table> table;
    paradox::Status st = paradox::Table::open(path, {}, &table);
    check(st);
    const int time = table->fieldIndex("FTime");
    const int target = postField ? table->fieldIndex(postField) : -1;
    double sum = 0;
    for (table->first(); st.isOk() && !table->eof(); table->next(), ++t.records) {
        paradox::DateTime v = 0;
        st = table->readDateTime(time, &v);
        sum += v;
        if (target < 0 || t.records % 4 != 0)
            continue;
        paradox::DateTime old = 0;
        st = table->readDateTime(target, &old);
        if (st.isOk())
            st = table->edit();
        if (st.isOk())
            st = table->setDateTime(target, old + 1.0 / 1440);
        if (st.isOk())
            st = table->post();
        ++t.posts;
    }
    t.walkMs = msSince(start);
    const auto closing = Clock::now();
    if (st.isOk())
        st = table->close();
    t.closeMs = msSince(closing);
    check(st);
    if (sum < 0)
        std::exit(1); // keeps the reads from being optimised away
    return t;
}

// A fresh copy, settled on disk: a station's tables were not written a
// moment ago, and the system writing a new file back meanwhile would make
// the walk pay for that too.
void copyFamily(const std::string& from, const std::string& to)
{
    for (const char* ext : {".db", ".px"}) {
        fs::remove(to + ext);
        if (!from.empty() && fs::exists(from + ext))
            fs::copy_file(from + ext, to + ext);
    }
#if defined(__unix__)
    ::sync();
#endif
}

void report(const char* what, const Timing& t, double baseline)
{
    std::printf("  %-44s %9.1f ms  %6.2fx   (close and flush %.1f ms; %zu posts)\n", what, t.walkMs,
                t.walkMs / baseline, t.closeMs, t.posts);
}

} // namespace

int main(int argc, char** argv)
{
    std::string folder = argc > 1 ? argv[1] : (fs::temp_directory_path() / "gridshift-bench").string();
    std::vector<std::size_t> sizes;
    for (int i = 2; i < argc; ++i)
        sizes.push_back(static_cast<std::size_t>(std::strtoull(argv[i], nullptr, 10)));
    if (sizes.empty())
        sizes = {100000, 1000000};
    fs::create_directories(folder);

    for (std::size_t n : sizes) {
        for (bool keyed : {false, true}) {
            const std::string base = folder + "/bench" + std::to_string(n) + (keyed ? "k" : "u");
            const std::string work = base + "-work";
            copyFamily("", base);
            generate(base + ".db", n, keyed);
            const double baseline = sequentialReadMs(base + ".db");
            std::printf("%zu records, %s, %.1f MB: sequential read into memory %.2f ms (into new memory %.2f ms)\n",
                        n, keyed ? "keyed (FDate, FTime)" : "unkeyed",
                        static_cast<double>(fs::file_size(base + ".db")) / 1e6, baseline, freshReadMs(base + ".db"));
            // Warm once so every run meets the file in the page cache.
            (void)walk(base + ".db", nullptr);
            report("walk reading FTime", walk(base + ".db", nullptr), baseline);
            copyFamily(base, work);
            (void)sequentialReadMs(work + ".db");
            report(keyed ? "walk posting FFilled on every 4th record" : "walk posting FTime on every 4th record",
                   walk(work + ".db", keyed ? "FFilled" : "FTime"), baseline);
#if defined(__unix__)
            copyFamily(base, work);
            (void)sequentialReadMs(work + ".db");
            const double floor = rawStoresMs(work + ".db", 54);
            std::printf("  %-44s %9.1f ms  %6.2fx\n", "  (bare stores at the same places, no table)", floor,
                        floor / baseline);
#endif
            if (keyed) {
                copyFamily(base, work);
                (void)sequentialReadMs(work + ".db");
                report("walk moving the key FTime of every 4th", walk(work + ".db", "FTime"), baseline);
            }
            copyFamily("", work);
            copyFamily("", base);
        }
    }
    return 0;
}
