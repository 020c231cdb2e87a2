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

// Texts that came from a device, a file or another user are bytes, not necessarily UTF-8.

// The bytes as valid UTF-8: each sequence that is not (a stray continuation byte, a lead byte
// whose sequence breaks off, an overlong form, a surrogate, a value past U+10FFFF) becomes one
// U+FFFD per maximal ill-formed part, as Unicode recommends.
std::string validUtf8(std::string_view bytes);

// Text from the wire (or from a file another user controls) as shown to a person on a terminal or
// in a text file: valid UTF-8 as validUtf8 makes it, and every control character (C0 including
// tab, CR and LF, DEL, and the C1 controls U+0080..U+009F) written as a visible escape \xHH of
// its code, so that no byte of it can move the cursor, clear the screen or start an escape
// sequence.
std::string displayText(std::string_view bytes);

}  // namespace corvel
