// SPDX-License-Identifier: MIT
#include "cli/nvm_command.h"

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "avcodec/image_format.h"
#include "avcodec/nvm_chain.h"
#include "cli/newer_chain_report.h"
#include "cli/validators.h"
#include "platform/files.h"

namespace corvel {

namespace {

struct NvmOptions {
    std::string file;
    bool json = false;
};

std::string imageText(const NvmImageInfo& image) {
    if (!image.headerValid) return "";
    if (!image.imageChecked) return ", image past the end of the file";
    if (image.imageValid()) return ", image valid";
    return ", image INVALID (checksum " + hex32(image.storedChecksum) + " in its header, " +
           hex32(image.computedChecksum) + " computed)";
}

void printChain(const NvmChain& chain, CliContext& context) {
    for (size_t i = 0; i < chain.images.size(); ++i) {
        const NvmImageInfo& image = chain.images[i];
        context.out << "image " << i << ": offset " << image.offset << ", load address "
                    << hex32(image.loadAddress) << ", length " << image.length << ", next "
                    << image.next << ", header " << (image.headerValid ? "valid" : "INVALID")
                    << imageText(image) << '\n';
    }
    context.out << "chain " << (chain.valid ? "valid" : "INVALID");
    if (const NvmImageInfo* bad = firstImageWithBadChecksum(chain))
        context.out << ": " << imageChecksumMismatchText(size_t(bad - chain.images.data()), *bad);
    context.out << '\n';
}

void printChainJson(const NvmChain& chain, CliContext& context) {
    using Json = nlohmann::ordered_json;
    Json images = Json::array();
    for (const NvmImageInfo& image : chain.images) {
        auto checksum = [&](uint32_t value) { return image.imageChecked ? Json(value) : Json(); };
        images.push_back({{"offset", image.offset},
                          {"loadAddress", image.loadAddress},
                          {"length", image.length},
                          {"next", image.next},
                          {"headerValid", image.headerValid},
                          {"imageChecksum", checksum(image.storedChecksum)},
                          {"computedImageChecksum", checksum(image.computedChecksum)},
                          {"imageValid", image.imageValid()}});
    }
    context.out << Json{{"images", images}, {"valid", chain.valid}}.dump() << '\n';
}

// A chain of the newer 96-byte headers: walked and listed like the older one, then named with
// what the upgrade makes of it. The upgrade refuses it, so the check does too (exit status 1).
int checkNewerFormat(const std::vector<uint8_t>& bytes, const NvmOptions& options,
                     CliContext& context) {
    const NewerChain chain = walkNewerChain(bytes.data(), bytes.size());
    const std::string refusal = std::string("newer image format: ") + kNewerFirmwareRefusal;
    if (options.json) {
        const std::string reason = newerChainFaultText(chain);
        context.out << nlohmann::ordered_json{{"format", "newer"},
                                              {"version", newerChainVersion(chain)},
                                              {"images", newerImagesJson(chain)},
                                              {"valid", chain.sound()},
                                              {"reason", reason.empty()
                                                             ? nlohmann::ordered_json(nullptr)
                                                             : nlohmann::ordered_json(reason)},
                                              {"upgradeSupported", false},
                                              {"error", refusal}}
                           .dump()
                    << '\n';
    } else {
        context.out << "newer image format, version " << newerChainVersion(chain)
                    << " (96-byte headers)\n";
        printNewerImages(chain, context.out);
        printNewerVerdict(chain, context.out);
        context.err << "corvel: " << options.file << ": " << refusal << '\n';
    }
    context.status = 1;
    return 1;
}

int runCheck(const NvmOptions& options, CliContext& context) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!readWholeFile(options.file, bytes, error, ReadRules{kMaxImageFileSize, true}))
        return context.fail(1, error);
    if (isNewerImageFormat(bytes.data(), bytes.size()))
        return checkNewerFormat(bytes, options, context);
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
        "Reports each image: offset, load address, length, next-header offset, header checksum,\n"
        "and the image's own checksum (word 4 of its header: the complement of the XOR of the\n"
        "image's 32-bit little-endian words), with both values when they differ; the listing\n"
        "ends at the first header whose checksum fails.\n"
        "A file of the newer image format (96-byte headers, version 1.x) is named as such and\n"
        "listed too: module type (by number, and by name where public documentation gives\n"
        "one), load address, length, entry point, next header, header and image checksums, and\n"
        "why its chain is broken if it is. The upgrade refuses such files.\n"
        "Exit status 0 when the file is a chain of the older format the upgrade can send: every\n"
        "header and image checksum valid, every header and image inside the file.");
    check->add_option("file", options->file, "NVM file")->required();
    check->add_flag("--json", options->json, "print one JSON object");
    check->callback([options, &context] { runCheck(*options, context); });
}

}  // namespace corvel
