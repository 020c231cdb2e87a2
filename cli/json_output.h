// SPDX-License-Identifier: MIT
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace corvel {

// The same document with every text made valid UTF-8 (validUtf8): names, firmware texts and
// network names come from the wire or the database as bytes, and a byte sequence that is not
// UTF-8 is shown as U+FFFD instead of aborting the output. Both the JSON and the text output
// print from it; the text output shows each such text through displayOf.
nlohmann::ordered_json printable(const nlohmann::ordered_json& document);

// The document, made printable, as one line of JSON. Besides the control characters JSON itself
// escapes, DEL and the C1 controls (U+0080..U+009F) are written as \u escapes too: the line holds
// no byte a terminal would act on, and a JSON reader gets the same texts.
std::string jsonLine(const nlohmann::ordered_json& document);

// A text of a printable document as shown to a person (displayText).
std::string displayOf(const nlohmann::ordered_json& text);

// A measured rate in whole Mbit/s, or null where none was measured.
nlohmann::ordered_json mbpsOrNull(const std::optional<int>& rate);

// Such a rate as a person reads it: "?" where none was measured.
std::string mbpsText(const nlohmann::ordered_json& rate);

}  // namespace corvel
