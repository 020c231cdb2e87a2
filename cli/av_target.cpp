// SPDX-License-Identifier: MIT
#include "cli/av_target.h"

#include <vector>

#include "av/av_state.h"
#include "av/local_device.h"
#include "cli/interfaces_command.h"
#include "cli/session.h"
#include "core/tables.h"
#include "transport/frame_io.h"

namespace corvel {

namespace {

Mac avLocalMac(int index) {
    Mac mac{};
    copyMac(mac.data(), core.adapters[index].localMac);
    return mac;
}

// The interfaces whose AV local device answered, each with its address known.
std::vector<int> avInterfaces() {
    std::vector<int> found;
    for (int i = 0; i < adapterCount; ++i) {
        core.currentAdapter = i;
        resetAvExchangeState();
        if (probeLocalAv() && readLocalVersion() && macIsSet(core.adapters[i].localMac))
            found.push_back(i);
    }
    return found;
}

std::string localDevicesText(const std::vector<int>& interfaces) {
    std::string text;
    for (const int i : interfaces)
        text += (text.empty() ? "" : ", ") + formatMac(avLocalMac(i)) + " on " + interfaceLabel(i);
    return text;
}

AvTarget chosen(int index, const Mac& device) {
    core.currentAdapter = index;
    const Mac local = avLocalMac(index);
    return {index, local, device, device == local};
}

}  // namespace

std::string interfaceLabel(int index) {
    const HostInterface* host = interfaceByIndex(index);
    return "interface " + std::to_string(index) + (host ? " " + host->name : std::string());
}

std::optional<AvTarget> findAvTarget(CliContext& context, const std::optional<Mac>& mac) {
    resetCoreState();
    if (!openHostInterfaces(context)) return std::nullopt;
    requireCapture();
    const std::vector<int> interfaces = avInterfaces();
    if (interfaces.empty()) {
        context.fail(1, "no HomePlug AV local device answered on any interface");
        return std::nullopt;
    }
    if (!mac) {
        if (interfaces.size() == 1) return chosen(interfaces[0], avLocalMac(interfaces[0]));
        context.fail(1, "more than one AV local device answered (" +
                            localDevicesText(interfaces) +
                            "): name one by its MAC address, or its interface with -i");
        return std::nullopt;
    }
    for (const int i : interfaces)
        if (avLocalMac(i) == *mac) return chosen(i, *mac);
    for (const int i : interfaces) {
        core.currentAdapter = i;
        readNetworkStations(avLocalMac(i));
        const StationRecord* station = findStationByMac(mac->data());
        if (station != nullptr && station->present) return chosen(i, *mac);
    }
    context.fail(1, formatMac(*mac) + " is neither an AV local device nor a station of its " +
                        "network (local devices: " + localDevicesText(interfaces) + ")");
    return std::nullopt;
}

std::optional<AvTarget> findAvStation(CliContext& context, const Mac& mac) {
    const std::optional<AvTarget> target = findAvTarget(context, mac);
    if (!target || !target->isLocal) return target;
    closeAllInterfaces();
    context.fail(1, formatMac(mac) +
                        " is the local device: name a station of its network, the other end of "
                        "the link");
    return std::nullopt;
}

}  // namespace corvel
