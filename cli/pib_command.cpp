// SPDX-License-Identifier: MIT
#include "cli/pib_command.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "avcodec/image_checksum.h"
#include "avcodec/image_format.h"
#include "avcodec/pib.h"
#include "cli/newer_chain_report.h"
#include "cli/validators.h"
#include "keys/derive.h"
#include "platform/bytes.h"
#include "platform/files.h"
#include "platform/mac.h"

namespace corvel {

namespace {

constexpr size_t kLengthFieldEnd = 6;  // the 16-bit length at offset 4

struct PibOptions {
    std::string file;
    std::string mac;
    bool json = false;
};

std::optional<std::vector<uint8_t>> readPibFile(const std::string& path, CliContext& context,
                                               mode_t* mode = nullptr) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!readWholeFile(path, bytes, error, ReadRules{kMaxImageFileSize, true}, mode)) {
        context.fail(1, error);
        return std::nullopt;
    }
    return bytes;
}

// Whether the bytes hold what pibOpen reads: at least as many bytes as the length field says (so
// a 3.3 image has the 7992 bytes its content checks walk), and at least the fixed fields up to
// the NMK. Anything else is refused as not usable, a PIB wrapped in the newer format too.
bool usablePib(const std::vector<uint8_t>& bytes, const std::string& path, CliContext& context) {
    if (isNewerImageFormat(bytes.data(), bytes.size())) {
        context.fail(1, path + ": newer image format: " + kNewerPibRefusal);
        return false;
    }
    const size_t declared = bytes.size() >= kLengthFieldEnd ? get16le(&bytes[4]) : 0;
    if (bytes.size() < kLengthFieldEnd || bytes.size() < declared ||
        bytes.size() < kPibMinimumSize) {
        context.fail(1, path + ": not a usable PIB (" + std::to_string(bytes.size()) +
                            " bytes, its length field says " + std::to_string(declared) + ")");
        return false;
    }
    // The length field is what the checksum and the device go by: it must cover the fixed fields
    // and whole 32-bit words, as every PIB's does; random bytes rarely manage both.
    if (declared < kPibMinimumSize || declared % 4 != 0) {
        context.fail(
            1,
            path + ": not a PIB (its length field says " + std::to_string(declared) + ", " +
                (declared < kPibMinimumSize ? "less than the " + std::to_string(kPibMinimumSize) +
                                                  " bytes of a PIB's fixed fields)"
                                            : "not a whole number of 32-bit words)"));
        return false;
    }
    return true;
}

std::optional<std::vector<uint8_t>> readUsablePib(const std::string& path, CliContext& context,
                                                  mode_t* mode = nullptr) {
    auto bytes = readPibFile(path, context, mode);
    if (!bytes || !usablePib(*bytes, path, context)) return std::nullopt;
    return bytes;
}

bool usable(int code) { return code == kPibDone || code == kPibOtherVersion; }

constexpr size_t kChecksumFieldOffset = 8;

// The checksum field and the value the contents call for: with it, the XOR of all length / 4
// words is 0xFFFFFFFF.
struct PibChecksum {
    uint32_t stored;
    uint32_t expected;
    bool valid() const { return stored == expected; }
};

PibChecksum checksumOf(const std::vector<uint8_t>& pib) {
    const size_t length = get16le(&pib[4]);
    const uint32_t stored = get32le(&pib[kChecksumFieldOffset]);
    // The complement of the XOR of every word is 0 when the stored field is right; XORed with
    // the stored field it is the field's right value.
    return {stored, imageChecksum(pib.data(), length / 4, 0) ^ stored};
}

std::string hex32(uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// The network identifier the device announces until it joins another network: 7 bytes whose
// last carries the security level in bits 4..5. It must be the NID of the PIB's own NMK at that
// level, or the device refuses the PIB. Known for the 3.3 layout only.
constexpr size_t kPreferredNidOffset = 248;

struct PreferredNid {
    NetworkId stored;
    NetworkId expected;  // the NID of the PIB's NMK at the stored security level
    bool belongsToNmk() const { return stored == expected; }
};

std::optional<PreferredNid> preferredNidOf(const std::vector<uint8_t>& pib, const Key16& nmk) {
    if (pib[0] != 3 || pib[1] != 3 || pib.size() < kPibCheckedLength) return std::nullopt;
    PreferredNid nid{};
    std::copy_n(&pib[kPreferredNidOffset], nid.stored.size(), nid.stored.begin());
    nid.expected = deriveNID(nmk, (nid.stored[6] >> 4) & 0x03);
    return nid;
}

std::string nidHex(const NetworkId& nid) { return keyHex(nid.data(), nid.size()); }

// A parameter block wrapped in the newer chain of 96-byte headers, as current adapters ship it:
// said so, with the wrapped block's place and length. The upgrade sends only a bare PIB, so the
// check refuses it (exit status 1).
int checkNewerFormat(const std::vector<uint8_t>& bytes, const PibOptions& options,
                     CliContext& context) {
    using Json = nlohmann::ordered_json;
    const NewerChain chain = walkNewerChain(bytes.data(), bytes.size());
    const NewerImageInfo* pib = findNewerModule(chain, kNewerModulePib);
    const std::string refusal = std::string("newer image format: ") + kNewerPibRefusal;
    if (options.json) {
        const std::string reason = newerChainFaultText(chain);
        Json wrapped = nullptr;
        if (pib != nullptr)
            wrapped = {{"offset", pib->offset + kNewerHeaderSize},
                       {"length", pib->length},
                       {"moduleType", pib->moduleType}};
        context.out << Json{{"format", "newer"},
                            {"version", newerChainVersion(chain)},
                            {"wrapped", wrapped},
                            {"images", newerImagesJson(chain)},
                            {"valid", chain.sound()},
                            {"reason", reason.empty() ? Json(nullptr) : Json(reason)},
                            {"upgradeSupported", false},
                            {"error", refusal}}
                           .dump()
                    << '\n';
    } else {
        context.out << "newer image format, version " << newerChainVersion(chain)
                    << " (96-byte headers): ";
        if (pib != nullptr)
            context.out << "a parameter block of " << pib->length << " bytes wrapped in a chain of "
                        << chain.images.size() << (chain.images.size() == 1 ? " image" : " images")
                        << " (module type " << pib->moduleType << ", at offset "
                        << pib->offset + kNewerHeaderSize << ")\n";
        else
            context.out << "no parameter block (module type " << kNewerModulePib << ") among the "
                        << chain.images.size() << " images of the chain\n";
        printNewerImages(chain, context.out);
        printNewerVerdict(chain, context.out);
        context.err << "corvel: " << options.file << ": " << refusal << '\n';
    }
    context.status = 1;
    return 1;
}

int runCheck(const PibOptions& options, CliContext& context) {
    auto bytes = readPibFile(options.file, context);
    if (!bytes) return context.status;
    if (isNewerImageFormat(bytes->data(), bytes->size()))
        return checkNewerFormat(*bytes, options, context);
    if (!usablePib(*bytes, options.file, context)) return context.status;
    PibImage pib;
    const int code = pib.pibOpen(*bytes);
    std::optional<std::string> mac, nmk;
    Key16 key{};
    if (pib.pibGetNmk(key) == kPibDone) {
        nmk = keyHex(key.data(), key.size());
        mac = formatMac(&(*bytes)[12]);
    }
    const std::string version = std::to_string((*bytes)[0]) + "." + std::to_string((*bytes)[1]);
    const unsigned length = get16le(&(*bytes)[4]);
    const PibChecksum checksum = checksumOf(*bytes);
    const std::optional<PreferredNid> nid = preferredNidOf(*bytes, key);
    if (options.json) {
        using Json = nlohmann::ordered_json;
        Json out = {{"code", code},
                    {"meaning", pibCodeMeaning(code)},
                    {"version", version},
                    {"length", length},
                    {"mac", mac ? Json(*mac) : nullptr},
                    {"nmk", nmk ? Json(*nmk) : nullptr},
                    {"checksumValid", checksum.valid()}};
        if (nid) {
            out["preferredNid"] = nidHex(nid->stored);
            out["nmkNid"] = nidHex(nid->expected);
            out["preferredNidValid"] = nid->belongsToNmk();
        }
        context.out << out.dump() << '\n';
    } else {
        context.out << "code " << code << ": " << pibCodeMeaning(code) << '\n'
                    << "version " << version << '\n'
                    << "length " << length << '\n'
                    << "mac " << mac.value_or("(not in this version)") << '\n'
                    << "nmk " << nmk.value_or("(not in this version)") << '\n';
        if (nid && nid->belongsToNmk())
            context.out << "preferred nid " << nidHex(nid->stored) << " valid\n";
        else if (nid)
            context.out << "preferred nid " << nidHex(nid->stored) << " wrong: the nmk gives "
                        << nidHex(nid->expected) << '\n';
        if (checksum.valid())
            context.out << "checksum " << hex32(checksum.stored) << " valid\n";
        else
            context.out << "checksum " << hex32(checksum.stored) << " wrong: the contents give "
                        << hex32(checksum.expected) << '\n';
    }
    // A wrong checksum means bytes changed since the image was made: the upgrade, which writes
    // a new checksum, would give the device whatever changed. The contents checks above cannot
    // see a changed value that is still in range.
    if (!checksum.valid() && !options.json)
        context.err << "corvel: " << options.file
                    << ": the checksum does not match the contents: the file was changed or "
                       "damaged\n";
    // The image is still what was made, so this is a warning: a device given this PIB refuses
    // it, and the upgrade would leave the device without its parameters.
    if (nid && !nid->belongsToNmk() && !options.json)
        context.err << "corvel: warning: " << options.file << ": the preferred NID "
                    << nidHex(nid->stored) << " does not belong to the PIB's NMK, whose NID is "
                    << nidHex(nid->expected) << "; a device refuses this PIB\n";
    context.status = usable(code) && checksum.valid() ? 0 : 1;
    return context.status;
}

int runSetMac(const PibOptions& options, CliContext& context) {
    const Mac mac = *parseMacArgument(options.mac);  // checked while parsing the command line
    mode_t mode = 0;
    auto bytes = readUsablePib(options.file, context, &mode);
    if (!bytes) return context.status;
    PibImage pib;
    int code = pib.pibOpen(*bytes);
    if (usable(code)) code = pib.pibSetMac(mac);
    if (code == kPibDone) code = pib.pibUpdateChecksum(*bytes);
    if (!usable(code)) return context.fail(1, "code " + std::to_string(code) + ": " +
                                                  pibCodeMeaning(code) + "; file unchanged");
    std::string error;
    // The patched file keeps who may read and write it, but nothing more: a set-user-id or
    // executable bit of the old file would otherwise come back on a file the caller (root,
    // perhaps) now owns, and a world-writable one would let anyone change the PIB a later
    // upgrade sends.
    if (!writeFileAtomically(options.file, *bytes, error, mode & kWritableModeBits))
        return context.fail(1, error);
    context.out << options.file << ": MAC set to " << formatMac(mac) << ", checksum updated\n";
    context.status = 0;
    return 0;
}

}  // namespace

void addPibCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<PibOptions>();
    CLI::App* pib = app.add_subcommand("pib", "Check or change an AV parameter image (PIB) file.");
    pib->require_subcommand(1);

    CLI::App* check = pib->add_subcommand("check", "Check a PIB file.");
    check->footer(
        "Prints 'code N: MEANING' and the image's version, length, MAC, NMK and checksum;\n"
        "for a 3.3 image also its preferred NID, and a warning when that is not the NID of\n"
        "the image's own NMK (a device refuses such a PIB).\n"
        "A PIB wrapped in the newer image format (96-byte headers) is named as such, with the\n"
        "wrapped block's length and the chain listed as nvm check lists it; the upgrade refuses\n"
        "it, and so does the check.\n"
        "Exit status 0 when the image is usable (code 0, or 3 for a version other than 3.3)\n"
        "and its checksum matches its contents.");
    check->add_option("file", options->file, "PIB file")->required();
    check->add_flag("--json", options->json, "print one JSON object");
    check->callback([options, &context] { runCheck(*options, context); });

    CLI::App* setMac =
        pib->add_subcommand("set-mac", "Write a device MAC address into a PIB file.");
    setMac->footer(
        "Updates the checksum too. The file is replaced atomically, and only when the image\n"
        "is usable and the MAC accepted.");
    setMac->add_option("file", options->file, "PIB file")->required();
    setMac->add_option("mac", options->mac, "MAC address, AA:BB:CC:DD:EE:FF")
        ->required()
        ->check(macValidator());
    setMac->callback([options, &context] { runSetMac(*options, context); });
}

}  // namespace corvel
