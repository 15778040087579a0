#pragma once

#include <string>
#include <utility>

namespace paradox {

// Outcome of an operation: success, or a category plus the exact text a user
// is shown. Success carries no message and costs nothing.
class [[nodiscard]] Status {
public:
    enum class Code {
        Ok,
        NotFound,     // a file or a field that is not there
        Corruption,   // a file whose bytes do not add up
        IOError,      // the operating system refused a read or a write
        ReadOnly,     // the table was opened without write access
        InUse,        // another program holds the table
        NotSupported, // a table or an edit this library refuses to write
        KeyViolation, // a post would duplicate a primary key
        InvalidArgument,
    };

    Status() = default;

    static Status ok() { return {}; }
    static Status notFound(std::string msg) { return {Code::NotFound, std::move(msg)}; }
    static Status corruption(std::string msg) { return {Code::Corruption, std::move(msg)}; }
    static Status ioError(std::string msg) { return {Code::IOError, std::move(msg)}; }
    static Status readOnly(std::string msg) { return {Code::ReadOnly, std::move(msg)}; }
    static Status inUse(std::string msg) { return {Code::InUse, std::move(msg)}; }
    static Status notSupported(std::string msg) { return {Code::NotSupported, std::move(msg)}; }
    static Status keyViolation(std::string msg) { return {Code::KeyViolation, std::move(msg)}; }
    static Status invalidArgument(std::string msg) { return {Code::InvalidArgument, std::move(msg)}; }

    bool isOk() const { return m_code == Code::Ok; }
    explicit operator bool() const { return isOk(); }
    Code code() const { return m_code; }
    const std::string& message() const { return m_message; }

    // The same error with `context` put in front, joined by ": ", which is how
    // a file name goes before a reason.
    Status withContext(const std::string& context) const
    {
        if (isOk())
            return *this;
        return {m_code, context + ": " + m_message};
    }

private:
    Status(Code code, std::string msg) : m_code(code), m_message(std::move(msg)) {}

    Code m_code = Code::Ok;
    std::string m_message;
};

} // namespace paradox
