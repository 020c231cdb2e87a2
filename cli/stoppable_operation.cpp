// SPDX-License-Identifier: MIT
#include "cli/stoppable_operation.h"

#include "core/tables.h"
#include "keys/derive.h"
#include "network/local_key.h"
#include "platform/mac.h"
#include "scan/station_texts.h"

namespace corvel {

namespace {

const char* const kStopWarning =
    "\ncorvel: stopping at the next safe point; what was changed on the devices is put back "
    "first\n";

// A network name as one word of a shell command line.
std::string shellWord(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool known(const std::string& name) {
    return !name.empty() && name != kUnknownNetworkName;
}

bool isPublicName(const std::string& name) {
    return name == kPublicAvName || name == kPublicHp10Name;
}

// The set-network command that gives `name` to the local device alone, or to every device with
// a password (`allDevices`).
std::string setNetworkCommand(const std::string& name, bool allDevices) {
    const std::string scope = allDevices ? " --yes" : " --local-only";
    if (!known(name)) return "corvel set-network NAME" + scope + ", with the name of its network,";
    if (isPublicName(name)) return "corvel set-network --public" + scope;
    return "corvel set-network " + shellWord(name) + scope;
}

std::string macList(const std::vector<Mac>& macs) {
    std::string text;
    for (const Mac& mac : macs) text += (text.empty() ? "" : ", ") + formatMac(mac);
    return text;
}

}  // namespace

StoppableOperation::StoppableOperation(CliContext& context)
    : context_(context), guard_(request_, true, kStopWarning), scope_(request_) {}

void StoppableOperation::networks(std::string previous, std::string next) {
    previous_ = std::move(previous);
    next_ = std::move(next);
}

void StoppableOperation::stoppedBeforeStart() {
    context_.fail(guard_.exitStatus(), "stopped before anything was sent; nothing was changed");
}

void StoppableOperation::stopped(const std::string& finished) {
    const StopReport& stop = lastStop();
    const std::string network = known(previous_) ? " '" + previous_ + "'" : "";
    std::ostream& err = context_.err;
    if (stop.finished) {
        err << "corvel: stopped; " << finished << '\n';
    } else if (stop.localBack && stop.devicesLeft.empty() && !stop.addedDeviceLeft) {
        err << "corvel: stopped; what was changed is put back: the local device is on its "
               "network"
            << network << " as before\n";
    } else if (stop.localBack) {
        err << "corvel: stopped; the local device is on its network" << network << " as before\n";
    } else {
        err << "corvel: stopped\n";
    }
    if (!stop.finished && !stop.addedDeviceLeft && !stop.devicesLeft.empty()) {
        err << "corvel: " << macList(stop.devicesLeft)
            << (stop.devicesLeft.size() == 1 ? " was" : " were")
            << " not put back and stay on the network '" << next_ << "': "
            << setNetworkCommand(previous_, true) << " puts "
            << (stop.devicesLeft.size() == 1 ? "it" : "them") << " back, or "
            << setNetworkCommand(next_, true) << " finishes the change\n";
    }
    if (stop.addedDeviceLeft) {
        const std::string which =
            stop.devicesLeft.empty() ? "" : " (" + macList(stop.devicesLeft) + ")";
        err << "corvel: the device of that password" << which
            << " may stay on a key of its own until it is added: corvel add-device NAME "
               "PASSWORD adds it\n";
    }
    if (!stop.localBack) {
        err << "corvel: the local device could not be put back on its network" << network
            << ": it may be on a key of its own, which a scan shows as " << kUnknownNetworkName
            << ", and be cut off from its stations; " << setNetworkCommand(previous_, false)
            << " puts it back\n";
    }
    context_.status = guard_.exitStatus();
}

}  // namespace corvel
