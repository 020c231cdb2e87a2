// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "keys/derive.h"
#include "platform/mac.h"
#include "sim/faults.h"
#include "sim/firmware_store.h"
#include "sim/link_profile.h"

// One simulated powerline adapter: its identity, its keys and the images that carry them, and
// what it says about itself.
namespace corvel::sim {

enum class Family { Av, HomePlug10, Turbo };

// "AV", "HomePlug 1.0", "Turbo".
std::string_view familyName(Family family);
// HomePlug 1.0 and Turbo devices speak the same 0x887B frames and share one network key form.
inline bool speaksHp10(Family family) {
    return family != Family::Av;
}

// The 50-byte local parameter block of a HomePlug 1.0 device. Its layout as this device keeps it:
// 0..5 the device's MAC, 6..13 the key under key select 0, 14 the key select of the network key,
// 15..22 the network key (NEK), 23..25 the three local-parameter bytes P1..P3, the rest zero.
inline constexpr size_t kParamBlockLength = 50;
using ParamBlock = std::array<uint8_t, kParamBlockLength>;
inline constexpr size_t kParamSelectZeroKeyOffset = 6;
inline constexpr size_t kParamKeySelectOffset = 14;
inline constexpr size_t kParamNekOffset = 15;
inline constexpr size_t kParamLocalOffset = 23;
// P2 bit 0 set: what the device forwards onto the powerline goes out under key select 0.
inline constexpr uint8_t kParamForwardUnderSelectZero = 0x01;

// The link between a station and its local device as each family reports it, in raw form.
// On a local device they describe its own link (the three words of a 1.0 statistics reply).
struct LinkRates {
    uint8_t avTx = 113;      // AV network information, average TX rate byte (about 149 Mbit/s)
    uint8_t avRx = 113;      // AV network information, average RX rate byte
    uint16_t hp10Raw = 420;  // 1.0 statistics slot, raw rate word (about 11 Mbit/s)
    uint16_t hp10Aux1 = 0;
    uint16_t hp10Aux2 = 0;
    uint16_t turboRaw = 2100;  // Turbo code-24 record, raw rate (about 63 Mbit/s)
};

// What a device says about itself; tests and scenarios may change it at any time.
struct DeviceProfile {
    // The kind a 1.0 local device reports in its local answer (1..3); 0 = the family's own
    // (1 plain 1.0, 2 Turbo).
    uint8_t kind = 0;
    // AV: the chip generation byte and the firmware version text of the version confirmation.
    uint8_t chipGeneration = 2;
    std::string firmware = "QRB1000-AV-3.3.1.2090-01-20240117-FINAL";
    // Turbo: the vendor version reply (form 1 = fixed texts chosen by the minor byte).
    std::string vendor = "Veltrix";
    std::string product = "Powerline Turbo Adapter";
    uint8_t versionForm = 2;
    uint8_t versionMajor = 1;
    uint8_t versionMinor = 4;
    // Turbo: the firmware text of read request 0x20.
    std::string turboFirmware = "TURBO-MAC-4-0-1-7-0012";
    // AV: the configuration block: its status byte (0 = an upgrade ends with a module commit,
    // 2 = with a start request) and contents.
    uint8_t configStatus = 0;
    std::vector<uint8_t> configBlock;
    LinkRates rates;
    // AV: how long the device is away after its NMK changed.
    uint32_t rebootMs = 0;
    // After a firmware upgrade it accepted (AV commit or start, Turbo hardware reset): how long
    // the device is away restarting, and the version text it reports from then on (AV version
    // text, Turbo firmware text); empty keeps the old text.
    uint32_t upgradeRebootMs = 0;
    std::string upgradedFirmware;
    // Turbo: whether the secondary loader also answers at the device's own address, or only at
    // the loader address 00:04:87:FE:11:00.
    bool loaderAnswersOwnAddress = true;
    Faults faults;
    // AV: how the link with the local device moves over time (a station's), how long the
    // device is away after a reset, and when it leaves.
    LinkProfile link;
};

struct DeviceConfig {
    Family family = Family::Av;
    Mac mac{};
    // The printed device password; the device's DAK (AV) or DEK (1.0 / Turbo) derives from it
    // exactly as given.
    std::string password;
    Key16 nmk = publicAvKey();
    Key8 nek = publicHp10Key();
    uint8_t keySelect = 1;
    uint8_t pibMajor = 3;
    uint8_t pibMinor = 3;
    // Starting contents of the two 1.0 parameter copies; the key fields are the device's own
    // whatever these say. Absent: the layout above with zero local parameters.
    std::optional<ParamBlock> storedParams;
    std::optional<ParamBlock> workingParams;
    // HomePlug 1.0 / Turbo: the device starts in its secondary loader.
    bool inLoader = false;
    DeviceProfile profile;
};

// Sixteen letters in the printed form XXXX-XXXX-XXXX-XXXX, made from the MAC, for devices whose
// password nobody set.
std::string defaultPassword(const Mac& mac);

class Device {
public:
    explicit Device(const DeviceConfig& config);

    Family family() const { return family_; }
    const Mac& mac() const { return mac_; }
    const std::string& password() const { return password_; }
    const Key16& dak() const { return dak_; }
    const Key8& dek() const { return dek_; }
    // The kind a 1.0 local answer reports.
    uint8_t kind() const;

    // AV network membership key; the PIB's copy at offset 100 follows every change.
    const Key16& nmk() const { return nmk_; }
    void setNmk(const Key16& nmk);
    const std::vector<uint8_t>& pib() const { return pib_; }
    // A PIB written by an upgrade; the device's NMK is the one it carries, and so is its MAC
    // (PIB version 1.4 on).
    void installPib(std::vector<uint8_t> pib);

    // HomePlug 1.0 / Turbo network key and its key select; both parameter copies follow.
    const Key8& nek() const { return nek_; }
    uint8_t keySelect() const { return keySelect_; }
    void setNek(uint8_t keySelect, const Key8& nek);
    // The key under key select 0: the device's own DEK until a host installs another one to
    // reach a remote device.
    const Key8& selectZeroKey() const { return selectZeroKey_; }
    void setSelectZeroKey(const Key8& key);
    void setLocalParameters(uint8_t p1, uint8_t p2, uint8_t p3);
    bool forwardsUnderSelectZero() const;
    // Copy 1 is the stored block, copy 2 the working block.
    const ParamBlock& paramBlock(int copy) const { return copy == 2 ? working_ : stored_; }

    // Whether the device is on the same network as `other`: same family group and equal key.
    bool sharesNetworkWith(const Device& other) const;

    // Offline, away rebooting, or gone from the wiring (profile.link.leaveAfterMs until
    // returnAfterMs) at `nowMs`.
    bool isAvailable(uint64_t nowMs) const;
    void rebootUntil(uint64_t untilMs) { awayUntilMs_ = untilMs; }
    // When the network started, on its clock: the departure time counts from it.
    void setEpoch(uint64_t startMs) { epochMs_ = startMs; }

    struct Received {
        int port;
        std::vector<uint8_t> frame;
        uint64_t atMs;
    };
    // The last requests the device acted on or answered, oldest first (at most 64).
    const std::deque<Received>& received() const { return received_; }
    void logReceived(int port, const uint8_t* frame, size_t length, uint64_t atMs);
    void clearReceived() { received_.clear(); }

    DeviceProfile profile;
    FirmwareStore firmware;

private:
    void writeKeysInto(ParamBlock& block) const;

    Family family_;
    Mac mac_;
    std::string password_;
    Key16 dak_{};
    Key8 dek_{};
    Key16 nmk_;
    std::vector<uint8_t> pib_;
    Key8 nek_;
    uint8_t keySelect_;
    Key8 selectZeroKey_{};
    ParamBlock stored_{};
    ParamBlock working_{};
    uint64_t awayUntilMs_ = 0;
    uint64_t epochMs_ = 0;
    std::deque<Received> received_;
};

}  // namespace corvel::sim
