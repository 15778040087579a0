#pragma once

#include "paradox/file.h"
#include "paradox/status.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace paradox {

// Bytes to write into one file: ascending pieces that neither overlap nor touch.
struct FileWrites {
    struct Piece {
        std::uint64_t offset = 0;
        std::uint32_t length = 0;
        std::uint32_t data = 0; // into `bytes`
    };
    File* file = nullptr;
    std::string name; // the file's name in its folder
    std::vector<Piece> pieces;
    std::vector<std::byte> bytes;

    // Joins the piece to the last one when it follows on directly.
    void add(std::uint64_t offset, const std::byte* data, std::size_t length);
    // A piece before every other, such as a header byte known last.
    void prepend(std::uint64_t offset, const std::byte* data, std::size_t length);
    void reserve(std::size_t pieceCount, std::size_t byteCount);
    // Puts the pieces in order and joins neighbours; pieces must not overlap.
    Status finish();
    const std::byte* dataOf(const Piece& p) const { return bytes.data() + p.data; }
};

} // namespace paradox
