#include "cli/commands.h"

#include "paradox/datetime.h"
#include "paradox/table.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace cli {
namespace {

std::string typeCode(paradox::FieldType t)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(t));
    return buf;
}

std::string formatTime(std::int64_t ms)
{
    char buf[32];
    const std::int64_t a = ms < 0 ? -ms : ms;
    std::snprintf(buf, sizeof buf, "%s%02" PRId64 ":%02" PRId64 ":%02" PRId64 ".%03" PRId64, ms < 0 ? "-" : "",
                  a / 3600000, a / 60000 % 60, a / 1000 % 60, a % 1000);
    return buf;
}

bool validDay(std::int64_t day)
{
    return day >= 1 && day <= 3652059;
}

// A day outside 0001-01-01..9999-12-31 keeps the engine's number form.
std::string formatDate(std::int64_t day)
{
    if (!validDay(day))
        return "#" + std::to_string(day);
    const paradox::CivilDate d = paradox::civilFromDayNumber(static_cast<std::int32_t>(day));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buf;
}

std::string formatReal(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

std::string formatValue(const paradox::Value& v)
{
    using Kind = paradox::Value::Kind;
    switch (v.kind) {
    case Kind::Null:
        return "NULL";
    case Kind::Integer:
        return std::to_string(v.integer);
    case Kind::Float:
        return formatReal(v.real);
    case Kind::Date:
        return formatDate(v.integer);
    case Kind::Time:
        return formatTime(v.integer);
    case Kind::Timestamp: {
        const double day = std::floor(v.real / paradox::kMsPerDay);
        // Beyond 2^53 milliseconds a day's milliseconds are no longer exact.
        if (!std::isfinite(v.real) || !(std::fabs(v.real) < 9.0e15))
            return formatReal(v.real);
        const auto ms = static_cast<std::int64_t>(v.real - day * paradox::kMsPerDay);
        return formatDate(static_cast<std::int64_t>(day)) + " " + formatTime(ms);
    }
    case Kind::Logical:
        return v.integer ? "true" : "false";
    case Kind::Text:
    case Kind::Decimal:
        return v.text;
    case Kind::Bytes: {
        std::string hex;
        for (unsigned char c : v.text) {
            char buf[3];
            std::snprintf(buf, sizeof buf, "%02X", c);
            hex += buf;
        }
        return hex;
    }
    case Kind::Blob:
        return "BLOB";
    }
    return "";
}

} // namespace

int dump(const std::vector<std::string>& args, std::FILE* out, std::FILE* err)
{
    if (args.size() != 1) {
        std::fputs("usage: gridshift-cli dump TABLE.db\n", err);
        return kUsageError;
    }
    std::unique_ptr<paradox::Table> table;
    paradox::Table::Options options;
    options.mode = paradox::OpenMode::ReadOnly;
    paradox::Status st = paradox::Table::open(args[0], options, &table);
    if (!st.isOk()) {
        std::fprintf(err, "%s\n", st.message().c_str());
        return kFailure;
    }
    if (const paradox::HalfWritten* half = table->halfWritten())
        std::fprintf(err, "%s: %s; the %u records the header counts are read\n", args[0].c_str(),
                     paradox::describe(*half).c_str(), static_cast<unsigned>(half->headerRecords));
    const auto& fields = table->fields();
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i)
            line += '\t';
        line += fields[i].name + ":" + typeCode(fields[i].type);
    }
    std::fprintf(out, "%s\n", line.c_str());
    for (table->first(); !table->eof(); table->next()) {
        line.clear();
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i)
                line += '\t';
            line += formatValue(table->value(static_cast<int>(i)));
        }
        std::fprintf(out, "%s\n", line.c_str());
    }
    st = table->checkUnchanged();
    if (st.isOk())
        st = table->close();
    if (!st.isOk()) {
        std::fprintf(err, "%s\n", st.message().c_str());
        return kFailure;
    }
    return std::ferror(out) ? kFailure : kSuccess;
}

} // namespace cli
