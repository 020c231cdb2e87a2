// SPDX-License-Identifier: MIT
#include "transport/frame_io.h"

#include <cstring>
#include <vector>

#include "platform/notifier.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "transport/frame_trace.h"
#include "transport/helper_backend.h"
#include "transport/interface_choice.h"
#include "transport/interface_table.h"
#include "transport/pcap_backend.h"

namespace corvel {

namespace {

CaptureBackend* installedBackend = nullptr;

std::vector<HostInterface> enumeration;
MmeFrame lastFrame;
std::vector<uint8_t> receiveBuffer;
std::string lastError;
bool openRefused = false;

bool validIndex(int index) { return index >= 0 && index < adapterCount; }

// As at process start: every capture closed on the backend that is installed, nothing listed and
// nothing refused.
const RegisteredReset frameIoReset{[] {
    closeAllInterfaces();
    lastError.clear();
    openRefused = false;
}};

}  // namespace

// A process that can capture itself (root, or CAP_NET_RAW in its effective set) uses libpcap;
// any other goes through corvel-capture, which alone carries the capture capabilities, so that
// the frame and file parsers above never need a privilege. The helper starts at the first
// listing.
CaptureBackend& productBackend() {
    static PcapBackend direct;
    static HelperBackend relayed;
    static CaptureBackend* const chosen =
        canCaptureDirectly() ? static_cast<CaptureBackend*>(&direct) : &relayed;
    return *chosen;
}

CaptureBackend& captureBackend() {
    return installedBackend != nullptr ? *installedBackend : productBackend();
}

void installCaptureBackend(CaptureBackend* backend) {
    closeAllInterfaces();
    installedBackend = backend;
}

std::string extractDescription(std::string_view description) {
    const size_t quote = description.find('\'');
    if (quote == std::string_view::npos) return "";
    const std::string_view rest = description.substr(quote + 1);
    size_t end = rest.find('(');
    if (end == std::string_view::npos) end = rest.find('\'');
    return std::string(rest.substr(0, end));
}

bool enumerateInterfaces() {
    for (int i = 0; i < kMaxInterfaces; ++i) closeInterface(i);
    resetInterfaceTable();
    enumeration.clear();
    lastFrame.length = 0;
    lastError.clear();
    openRefused = false;

    std::vector<HostInterface> listed;
    if (!captureBackend().listInterfaces(listed, lastError)) return false;
    if (!applyInterfaceChoice(listed, lastError)) return false;
    if (listed.size() > size_t(kMaxInterfaces)) listed.resize(kMaxInterfaces);
    for (const HostInterface& host : listed) {
        InterfaceEntry& entry = interfaceEntries[adapterCount++];
        std::memcpy(entry.interfaceMac, host.mac.data(), 6);
        const std::string readable = extractDescription(host.description);
        copyText(entry.description, readable.empty() ? host.name : readable);
    }
    enumeration = std::move(listed);
    return true;
}

bool openInterface(int index) {
    if (!validIndex(index)) return false;
    InterfaceEntry& entry = interfaceEntries[index];
    if (entry.captureHandle >= 0) return true;
    std::string error;
    entry.captureHandle = captureBackend().openCapture(enumeration[size_t(index)].name, error);
    if (entry.captureHandle < 0) {
        if (lastError.empty()) lastError = error;
        openRefused = openRefused || captureBackend().permissionDenied();
        return false;
    }
    return true;
}

bool closeInterface(int index) {
    if (index < 0 || index >= kMaxInterfaces) return true;
    InterfaceEntry& entry = interfaceEntries[index];
    if (entry.captureHandle >= 0) captureBackend().closeCapture(entry.captureHandle);
    entry.captureHandle = -1;
    return true;
}

bool closeAllInterfaces() {
    lastFrame.length = 0;
    for (int i = 0; i < kMaxInterfaces; ++i) closeInterface(i);
    enumeration.clear();
    return true;
}

bool reopenInterfaces() {
    if (enumerateInterfaces())
        for (int i = 0; i < adapterCount; ++i) openInterface(i);
    captureBackend().releaseUnused();
    return true;
}

const HostInterface* interfaceByIndex(int index) {
    if (!validIndex(index) || size_t(index) >= enumeration.size()) return nullptr;
    return &enumeration[size_t(index)];
}

bool sendFrame(int index, const uint8_t* frame, uint16_t length) {
    MmeFrame padded;
    if (!padFrame(frame, length, padded)) return false;
    if (index < 0 || index >= kMaxInterfaces || interfaceEntries[index].captureHandle < 0)
        return false;
    try {
        const bool sent = captureBackend().sendRaw(interfaceEntries[index].captureHandle,
                                                   padded.bytes.data(), padded.length);
        if (sent) traceFrame(FrameDirection::Sent, index, padded.bytes.data(), padded.length);
        return sent;
    } catch (const CaptureFault&) {
        notifier().notify("Send Packet Error",
                          "Unknown error occurred while sending packets. Please try after some "
                          "time.",
                          Icon::Error, Buttons::Ok);
        return false;
    }
}

const MmeFrame* pollFrame(int index, bool* faulted, PollWait wait) {
    if (faulted != nullptr) *faulted = false;
    if (index < 0 || index >= kMaxInterfaces || interfaceEntries[index].captureHandle < 0)
        return nullptr;
    const int handle = interfaceEntries[index].captureHandle;
    try {
        const PollResult result = wait == PollWait::ReadTimeout
                                      ? captureBackend().pollRaw(handle, receiveBuffer)
                                      : captureBackend().takeRaw(handle, receiveBuffer);
        if (result != PollResult::Frame) return nullptr;
    } catch (const CaptureFault&) {
        if (faulted != nullptr) *faulted = true;
        return nullptr;
    }
    // The caller's buffers hold 1514 bytes: a longer frame that passed the filter is dropped.
    if (receiveBuffer.size() > kMaxFrameLength) return nullptr;
    lastFrame.bytes.fill(0);
    std::memcpy(lastFrame.bytes.data(), receiveBuffer.data(), receiveBuffer.size());
    lastFrame.length = receiveBuffer.size();
    traceFrame(FrameDirection::Received, index, lastFrame.bytes.data(), lastFrame.length);
    return &lastFrame;
}

bool waitForFrames() {
    std::vector<int> handles;
    for (int i = 0; i < adapterCount; ++i)
        if (interfaceEntries[i].captureHandle >= 0)
            handles.push_back(interfaceEntries[i].captureHandle);
    if (handles.empty()) return false;
    try {
        return captureBackend().waitAny(handles);
    } catch (const CaptureFault&) {
        return false;
    }
}

bool captureNotPermitted() {
    if (!openRefused) return false;
    for (int i = 0; i < adapterCount; ++i)
        if (interfaceEntries[i].captureHandle >= 0) return false;
    return true;
}

const std::string& captureError() { return lastError; }

}  // namespace corvel
