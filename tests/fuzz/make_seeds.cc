// Writes the tables the library generates for the fuzz target's seed corpus
// into the folder given as the only argument: the companion table with its
// primary index, and tables of every version, block size and field type the
// builder can write.

#include "companion_table.h"
#include "memory_file_system.h"

#include "paradox/table_builder.h"

#include <cstdio>
#include <fstream>

namespace {

using paradox::FieldType;
using paradox::Value;

Value make(Value::Kind kind, std::int64_t integer, double real = 0, std::string text = {})
{
    Value v;
    v.kind = kind;
    v.integer = integer;
    v.real = real;
    v.text = std::move(text);
    return v;
}

struct Shape {
    const char* name;
    int version;
    int blockKiB;
    int keyFields;
};

bool buildShape(paradox::FileSystem* fs, const Shape& shape)
{
    std::vector<paradox::FieldDefinition> fields = {{"Alpha", FieldType::Alpha, 12},
                                                    {"Date", FieldType::Date},
                                                    {"Short", FieldType::Short},
                                                    {"Number", FieldType::Number},
                                                    {"Money", FieldType::Currency}};
    if (shape.version >= 5)
        fields.push_back({"Memo", FieldType::Memo, 20});
    if (shape.version >= 10) {
        for (const paradox::FieldDefinition& f :
             std::vector<paradox::FieldDefinition>{{"Long", FieldType::Long},
                                                   {"Logical", FieldType::Logical},
                                                   {"Time", FieldType::Time},
                                                   {"Stamp", FieldType::Timestamp},
                                                   {"Auto", FieldType::AutoInc},
                                                   {"Bcd", FieldType::Bcd, 2},
                                                   {"Bytes", FieldType::Bytes, 6}})
            fields.push_back(f);
    }
    paradox::CreateOptions o;
    o.version = shape.version;
    o.blockSizeKiB = shape.blockKiB;
    o.keyFields = shape.keyFields;
    o.recordsPerBlock = 3;
    o.codePage = 1251;
    o.sortOrder = "ascii";
    o.sortOrderCode = 0;
    o.updateTime = 1700000000;
    o.fileSystem = fs;
    std::unique_ptr<paradox::TableBuilder> b;
    if (!paradox::TableBuilder::create(fields, o, &b).isOk())
        return false;
    for (int i = 0; i < 8; ++i) {
        std::vector<Value> values = {make(Value::Kind::Text, 0, 0, "r\xd1\x8f" + std::to_string(i)),
                                     make(Value::Kind::Date, 739677 + i), make(Value::Kind::Integer, i - 4),
                                     make(Value::Kind::Float, 0, i * 1.25 - 3),
                                     make(Value::Kind::Float, 0, 0.01 * i)};
        if (shape.version >= 5)
            values.push_back({});
        if (shape.version >= 10) {
            values.push_back(make(Value::Kind::Integer, -100000 * i));
            values.push_back(make(Value::Kind::Logical, i % 2));
            values.push_back(make(Value::Kind::Time, 3'600'000 * i + 1));
            values.push_back(make(Value::Kind::Timestamp, 0, (739677.0 + i) * 86'400'000 + 1000));
            values.push_back(make(Value::Kind::Integer, i + 1));
            values.push_back(make(Value::Kind::Decimal, 0, 0, std::to_string(i - 4) + ".25"));
            values.push_back(make(Value::Kind::Bytes, 0, 0, std::string("\x01\x00\xff", 3)));
        }
        if (i == 5) // a record of blanks
            for (std::size_t f = static_cast<std::size_t>(shape.keyFields); f < values.size(); ++f)
                values[f] = {};
        if (!b->addRecord(values).isOk())
            return false;
    }
    return b->write(std::string("g/") + shape.name + ".db").isOk();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    testsupport::MemoryFileSystem fs;
    bool ok = fuzzing::buildCompanionTable(&fs, "g/companion.db");
    for (const Shape& s : {Shape{"v3-2k", 4, 2, 0}, Shape{"v4-1k-keyed", 9, 1, 1}, Shape{"v5-4k", 11, 4, 0},
                           Shape{"v7-16k-keyed", 12, 16, 2}, Shape{"v7-32k", 12, 32, 0}})
        ok = buildShape(&fs, s) && ok;
    if (!ok) {
        std::fprintf(stderr, "could not build the seed tables\n");
        return 1;
    }
    for (const auto& [path, bytes] : fs.files) {
        const std::string out = std::string(argv[1]) + "/" + path.substr(2);
        std::ofstream f(out, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!f) {
            std::fprintf(stderr, "cannot write %s\n", out.c_str());
            return 1;
        }
    }
    return 0;
}
