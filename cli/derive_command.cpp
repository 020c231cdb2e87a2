// SPDX-License-Identifier: MIT
#include "cli/derive_command.h"

#include <memory>

#include "keys/derive.h"

namespace corvel {

namespace {
struct DeriveOptions {
    std::string kind;
    std::string text;
};

std::string deriveHex(const std::string& kind, const std::string& text) {
    if (kind == "nmk") {
        const Key16 key = deriveNMK(text);
        return keyHex(key.data(), key.size());
    }
    if (kind == "nid") {
        const NetworkId nid = deriveNID(deriveNMK(text));
        return keyHex(nid.data(), nid.size());
    }
    if (kind == "dak") {
        const Key16 key = deriveDAK(text);
        return keyHex(key.data(), key.size());
    }
    const Key8 key = deriveHP10Key(text);
    return keyHex(key.data(), key.size());
}
}  // namespace

void addDeriveCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<DeriveOptions>();
    CLI::App* derive =
        app.add_subcommand("derive", "Print the key derived from a network name or password.");
    derive->footer(
        "Prints the key as upper-case hex.\n"
        "  nmk: AV network membership key from a network name\n"
        "  dak: AV device access key from a device password\n"
        "  nek: HomePlug 1.0 / Turbo key (NEK from a network name, DEK from a password)\n"
        "  nid: AV network identifier of the NMK from a network name (security level 0)\n"
        "The text is hashed exactly as given: case and dashes matter.");
    derive->add_option("kind", options->kind, "nmk, dak, nek or nid")
        ->required()
        ->check(CLI::IsMember({"nmk", "dak", "nek", "nid"}));
    derive->add_option("text", options->text, "network name or device password")->required();
    derive->callback([options, &context] {
        context.out << deriveHex(options->kind, options->text) << '\n';
        context.status = 0;
    });
}

}  // namespace corvel
