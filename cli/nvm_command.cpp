// SPDX-License-Identifier: MIT
#include "cli/nvm_command.h"

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "avcodec/image_format.h"
#include "avcodec/nvm_chain.h"
#include "cli/validators.h"
#include "platform/files.h"

namespace corvel {

namespace {

struct NvmOptions {
    std::string file;
    bool json = false;
};

std::string hex32(uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

void printChain(const NvmChain& chain, CliContext& context) {
    for (size_t i = 0; i < chain.images.size(); ++i) {
        const NvmImageInfo& image = chain.images[i];
        context.out << "image " << i << ": offset " << image.offset << ", load address "
                    << hex32(image.loadAddress) << ", length " << image.length << ", next "
                    << image.next << ", header " << (image.headerValid ? "valid" : "INVALID")
                    << '\n';
    }
    context.out << "chain " << (chain.valid ? "valid" : "INVALID") << '\n';
}

void printChainJson(const NvmChain& chain, CliContext& context) {
    nlohmann::ordered_json images = nlohmann::ordered_json::array();
    for (const NvmImageInfo& image : chain.images)
        images.push_back({{"offset", image.offset},
                          {"loadAddress", image.loadAddress},
                          {"length", image.length},
                          {"next", image.next},
                          {"headerValid", image.headerValid}});
    context.out << nlohmann::ordered_json{{"images", images}, {"valid", chain.valid}}.dump()
                << '\n';
}

// A chain of the newer 96-byte headers: named, and nothing of it listed.
int refuseNewerFormat(const NvmOptions& options, CliContext& context) {
    if (options.json)
        context.out << nlohmann::ordered_json{{"images", nlohmann::ordered_json::array()},
                                              {"valid", false},
                                              {"error", kNewerFormatText}}
                           .dump()
                    << '\n';
    else
        context.err << "corvel: " << options.file << ": " << kNewerFormatText << '\n';
    context.status = 1;
    return 1;
}

int runCheck(const NvmOptions& options, CliContext& context) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!readWholeFile(options.file, bytes, error, ReadRules{kMaxImageFileSize, true}))
        return context.fail(1, error);
    if (isNewerImageFormat(bytes.data(), bytes.size())) return refuseNewerFormat(options, context);
    const NvmChain chain = walkNvmChain(bytes.data(), bytes.size());
    if (options.json) printChainJson(chain, context);
    else printChain(chain, context);
    context.status = chain.valid ? 0 : 1;
    return context.status;
}

}  // namespace

void addNvmCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<NvmOptions>();
    CLI::App* nvm = app.add_subcommand("nvm", "Check an AV firmware image (NVM) file.");
    nvm->require_subcommand(1);
    CLI::App* check = nvm->add_subcommand("check", "Check the image-header chain of an NVM file.");
    check->footer(
        "Reports each image: offset, load address, length, next-header offset, header checksum;\n"
        "the listing ends at the first header whose checksum fails. A file of the newer format\n"
        "(96-byte headers) is named as such and not listed.\n"
        "Exit status 0 when every header checksum is valid and every header and image lies\n"
        "inside the file.");
    check->add_option("file", options->file, "NVM file")->required();
    check->add_flag("--json", options->json, "print one JSON object");
    check->callback([options, &context] { runCheck(*options, context); });
}

}  // namespace corvel
