// SPDX-License-Identifier: MIT
#pragma once

#include <nlohmann/json.hpp>

namespace corvel {

// The same document with every text made valid UTF-8: names, firmware texts and network names
// come from the wire or the database as bytes, and a byte sequence that is not UTF-8 is shown as
// U+FFFD instead of aborting the output. Both the JSON and the text output print from it.
inline nlohmann::ordered_json printable(const nlohmann::ordered_json& document) {
    using Json = nlohmann::ordered_json;
    return Json::parse(document.dump(-1, ' ', false, Json::error_handler_t::replace));
}

}  // namespace corvel
