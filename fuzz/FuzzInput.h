// What the fuzz targets share: a check that ends the run with a message the fuzzer
// reports with the input, and an input read as flags, piece lengths and payload, so the
// fuzzer chooses how the payload is cut into arrivals as freely as the payload itself.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin::fuzz {

[[noreturn]] inline void Fail(std::string_view what) {
    std::fprintf(stderr, "invariant broken: %.*s\n", static_cast<int>(what.size()), what.data());
    std::abort();
}

inline void Require(bool condition, std::string_view what) {
    if (!condition) Fail(what);
}

// The input's first byte: its high four bits are the target's flags, its low four the
// number of piece-length bytes that follow it; the rest is the payload.
struct CutInput {
    unsigned flags = 0;
    std::vector<std::size_t> lengths;  // 0 stands for an empty arrival
    std::string_view payload;
};

inline CutInput ReadCutInput(const std::uint8_t* data, std::size_t size) {
    CutInput input;
    if (size == 0) return input;
    input.flags = static_cast<unsigned>(data[0] >> 4);
    const std::size_t count = std::min<std::size_t>(data[0] & 0x0Fu, size - 1);
    for (std::size_t i = 0; i < count; ++i) input.lengths.push_back(data[1 + i]);
    const std::size_t start = 1 + count;
    input.payload = std::string_view(reinterpret_cast<const char*>(data) + start, size - start);
    return input;
}

// The payload cut into pieces of the given lengths, taken in turn; single bytes when no
// length is above 0.
inline std::vector<std::string_view> Pieces(std::string_view payload,
                                            const std::vector<std::size_t>& lengths) {
    bool progress = false;
    for (const std::size_t length : lengths) progress = progress || length > 0;
    std::vector<std::string_view> pieces;
    std::size_t at = 0;
    for (std::size_t turn = 0; at < payload.size(); ++turn) {
        const std::size_t length = progress ? lengths[turn % lengths.size()] : 1;
        pieces.push_back(payload.substr(at, length));
        at += std::min(length, payload.size() - at);
    }
    return pieces;
}

// Single bytes: the finest cut there is.
inline std::vector<std::string_view> SingleBytes(std::string_view payload) {
    return Pieces(payload, {});
}

}  // namespace pelorin::fuzz
