// SPDX-License-Identifier: MIT
#include "cli/newer_chain_report.h"

#include <cstdio>

namespace corvel {

std::string hex32(uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

namespace {

std::string moduleText(uint32_t type) {
    const std::string_view name = newerModuleTypeName(type);
    std::string text = "module type " + std::to_string(type);
    if (!name.empty()) text += " (" + std::string(name) + ")";
    return text;
}

std::string linkText(uint32_t offset) {
    return offset == kNewerChainEnd ? "none" : std::to_string(offset);
}

}  // namespace

std::string newerChainVersion(const NewerChain& chain) {
    if (chain.images.empty()) return "1.x";
    return std::to_string(chain.images[0].majorVersion) + "." +
           std::to_string(chain.images[0].minorVersion);
}

void printNewerImages(const NewerChain& chain, std::ostream& out) {
    for (size_t i = 0; i < chain.images.size(); ++i) {
        const NewerImageInfo& image = chain.images[i];
        out << "image " << i << ": offset " << image.offset;
        // Past a bad checksum the header's words mean nothing: none is shown as if it did.
        if (!image.headerValid) {
            out << ", header INVALID\n";
            continue;
        }
        out << ", " << moduleText(image.moduleType) << ", load address " << hex32(image.loadAddress)
            << ", length " << image.length << ", entry point " << hex32(image.entryPoint)
            << ", next " << linkText(image.next) << ", header valid"
            << ", image " << (image.imageValid ? "valid" : "INVALID") << '\n';
    }
}

void printNewerVerdict(const NewerChain& chain, std::ostream& out) {
    if (chain.sound())
        out << "chain valid\n";
    else
        out << "chain INVALID: " << newerChainFaultText(chain) << '\n';
}

nlohmann::ordered_json newerImagesJson(const NewerChain& chain) {
    using Json = nlohmann::ordered_json;
    Json images = Json::array();
    for (const NewerImageInfo& image : chain.images) {
        if (!image.headerValid) {
            images.push_back({{"offset", image.offset}, {"headerValid", false}});
            continue;
        }
        const std::string_view name = newerModuleTypeName(image.moduleType);
        images.push_back({{"offset", image.offset},
                          {"moduleType", image.moduleType},
                          {"moduleName", name.empty() ? Json(nullptr) : Json(std::string(name))},
                          {"loadAddress", image.loadAddress},
                          {"length", image.length},
                          {"entryPoint", image.entryPoint},
                          {"next", image.next},
                          {"previous", image.previous},
                          {"headerValid", true},
                          {"imageValid", image.imageValid}});
    }
    return images;
}

}  // namespace corvel
