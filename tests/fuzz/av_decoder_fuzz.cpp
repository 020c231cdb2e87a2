// SPDX-License-Identifier: MIT
// The AV decoder and the module transfers it drives: each fuzzed frame is decoded as a
// confirmation of the transfer under way, and the frame the transfer prepares next is built.
#include <array>
#include <cstdint>

#include "av/version_text.h"
#include "avcodec/codec.h"
#include "avcodec/transfer.h"
#include "tests/fuzz/fuzz_input.h"

using namespace corvel;

namespace {

constexpr uint8_t kHost[6] = {0x02, 0, 0, 0, 0, 0x10};
constexpr uint8_t kLocal[6] = {0x00, 0xB0, 0x52, 0x00, 0x00, 0x01};

// A transfer to drive, chosen by the input: none, a read of type 1..3, or a write of a PIB (and a
// firmware image) taken from the input itself.
void beginTransfer(fuzz::FuzzInput& input, std::vector<uint8_t>& pib,
                   std::vector<uint8_t>& firmware) {
    const uint8_t choice = input.byte();
    if (choice % 3 == 1) {
        plcapi_BeginModuleRead(kHost, kLocal, int32_t(choice % 4));
    } else if (choice % 3 == 2) {
        pib = input.frame();
        firmware = input.frame();
        plcapi_BeginModuleWrite(kHost, kLocal, uint32_t(firmware.size()),
                                firmware.empty() ? nullptr : firmware.data(),
                                uint32_t(pib.size()), pib.empty() ? nullptr : pib.data(),
                                input.byte());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput input(data, size);
    resetAvOperation();
    std::vector<uint8_t> pib, firmware;
    beginTransfer(input, pib, firmware);
    std::array<uint8_t, 1514> out{};
    for (int frames = 0; frames < 64 && !input.empty(); ++frames) {
        const std::vector<uint8_t> frame = input.frame();
        AvConfirm record{};
        const int result = plcapi_DecodeFrame(frame.size(), frame.data(), &record);
        if (result == 0 && record.valid) {
            std::string text = versionTextOf(record, frame.size());
            normaliseStationText(text, "QCA7420");
        }
        plcapi_BuildPendingFrame(out.size(), out.data());
    }
    resetAvOperation();
    return 0;
}
