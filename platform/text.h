// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

// Fixed-width NUL-terminated text fields of the tables and file records.
namespace corvel {

// Copies as much of `source` as fits with its terminator; the rest of the field is zeroed so
// that no stale bytes of an earlier, longer text remain.
template <size_t N>
void copyText(char (&field)[N], std::string_view source) {
    const size_t length = source.size() < N ? source.size() : N - 1;
    std::memcpy(field, source.data(), length);
    std::memset(field + length, 0, N - length);
}

// The text of a field, never reading past its width even when the terminator is missing
// (a field loaded from a damaged file).
template <size_t N>
std::string_view textOf(const char (&field)[N]) {
    return std::string_view(field, ::strnlen(field, N));
}

template <size_t N>
std::string stringOf(const char (&field)[N]) {
    return std::string(textOf(field));
}

}  // namespace corvel
