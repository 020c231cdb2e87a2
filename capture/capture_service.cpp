// SPDX-License-Identifier: MIT
#include "capture/capture_service.h"

#include <algorithm>

#include "transport/capture_protocol.h"

namespace corvel::capture {

namespace {

// One capture per interface of the host at a time; a caller cannot pile up more.
constexpr size_t kMaxOpenCaptures = 16;
// Frames passed over in one look at a capture before the serving loop gets its turn again.
constexpr int kMaxSkippedFrames = 256;

}  // namespace

std::vector<uint8_t> CaptureService::answer(const uint8_t* data, size_t length) {
    Request request;
    std::string error;
    if (!parseRequest(data, length, request, error))
        return encodeErrorReply(request.id, ReplyStatus::Refused, error);
    switch (request.type) {
        case RequestType::List:
            return list(request.id);
        case RequestType::Open:
            return open(request.id, request.name);
        case RequestType::Close:
            if (!isOpen(request.handle))
                return encodeErrorReply(request.id, ReplyStatus::Refused, "no such capture");
            backend_.closeCapture(request.handle);
            open_.erase(request.handle);
            return encodeReply(request.id, ReplyStatus::Ok, {});
        case RequestType::Send:
            return send(request.id, request.handle, request.frame);
        case RequestType::Release:
            backend_.releaseUnused();
            return encodeReply(request.id, ReplyStatus::Ok, {});
    }
    return encodeErrorReply(request.id, ReplyStatus::Refused, "unknown request type");
}

std::vector<uint8_t> CaptureService::list(uint32_t id) {
    std::vector<HostInterface> interfaces;
    std::string error;
    if (!backend_.listInterfaces(interfaces, error))
        return encodeErrorReply(id, ReplyStatus::Failed, error);
    // Only names the caller can be told about may be opened.
    interfaces.erase(std::remove_if(interfaces.begin(), interfaces.end(),
                                    [](const HostInterface& host) {
                                        return host.name.empty() ||
                                               host.name.size() > kMaxInterfaceName;
                                    }),
                     interfaces.end());
    if (interfaces.size() > kMaxListed) interfaces.resize(kMaxListed);
    listed_ = interfaces;
    return encodeReply(id, ReplyStatus::Ok, encodeListing(interfaces));
}

std::vector<uint8_t> CaptureService::open(uint32_t id, const std::string& name) {
    const auto host = std::find_if(listed_.begin(), listed_.end(),
                                   [&](const HostInterface& h) { return h.name == name; });
    if (host == listed_.end())
        return encodeErrorReply(id, ReplyStatus::Refused,
                                name + ": not an Ethernet interface of this host's listing");
    for (const auto& [handle, capture] : open_)
        if (capture.name == name)
            return encodeErrorReply(id, ReplyStatus::Refused, name + ": already open");
    if (open_.size() >= kMaxOpenCaptures)
        return encodeErrorReply(id, ReplyStatus::Refused, name + ": too many captures open");
    std::string error;
    const int handle = backend_.openCapture(name, error);
    if (handle < 0)
        return encodeErrorReply(
            id, backend_.permissionDenied() ? ReplyStatus::NotPermitted : ReplyStatus::Failed,
            error);
    if (handle > 0xFFFF) {
        backend_.closeCapture(handle);
        return encodeErrorReply(id, ReplyStatus::Failed, name + ": no handle left");
    }
    // The address it sends in is the one listed: the caller cannot name another.
    const auto learned = localHp10_.find(name);
    const std::optional<Mac> local =
        learned == localHp10_.end() ? std::nullopt : std::optional(learned->second);
    open_.insert_or_assign(handle, OpenCapture{name, SenderAddresses(host->mac, local)});
    if (local) backend_.receiveAlsoAddressedTo(handle, local);
    return encodeReply(id, ReplyStatus::Ok, {uint8_t(handle), uint8_t(handle >> 8)});
}

std::vector<uint8_t> CaptureService::send(uint32_t id, uint16_t handle,
                                          const std::vector<uint8_t>& frame) {
    const auto capture = open_.find(handle);
    if (capture == open_.end())
        return encodeErrorReply(id, ReplyStatus::Refused, "no such capture");
    if (const std::string refusal = capture->second.senders.refusal(frame.data(), frame.size());
        !refusal.empty())
        return encodeErrorReply(id, ReplyStatus::Refused, capture->second.name + ": " + refusal);
    rate_.awaitTurn();
    try {
        if (backend_.sendRaw(handle, frame.data(), frame.size()))
            return encodeReply(id, ReplyStatus::Ok, {});
    } catch (const CaptureFault& fault) {
        return encodeErrorReply(id, ReplyStatus::Failed, fault.what());
    }
    return encodeErrorReply(id, ReplyStatus::Failed, capture->second.name + ": sending failed");
}

std::vector<int> CaptureService::openHandles() const {
    std::vector<int> handles;
    for (const auto& [handle, capture] : open_) handles.push_back(handle);
    return handles;
}

std::optional<Mac> CaptureService::localHp10Device(int handle) const {
    const auto capture = open_.find(handle);
    return capture == open_.end() ? std::nullopt : capture->second.senders.localHp10Device();
}

bool CaptureService::nextFrame(int handle, std::vector<uint8_t>& message) {
    const auto capture = open_.find(handle);
    if (capture == open_.end()) return false;
    for (int skipped = 0; skipped < kMaxSkippedFrames; ++skipped) {
        try {
            if (backend_.takeRaw(handle, frame_) != PollResult::Frame) return false;
        } catch (const CaptureFault&) {
            return false;  // the interface went away; the caller's next listing shows it
        }
        if (!isRelayedFrame(frame_.data(), frame_.size())) continue;
        // The local 1.0 device answers queries made in its name to its own address, which a
        // capture without promiscuous mode receives only when told to.
        SenderAddresses& senders = capture->second.senders;
        if (senders.learnFrom(frame_.data(), frame_.size())) {
            localHp10_.insert_or_assign(capture->second.name, *senders.localHp10Device());
            backend_.receiveAlsoAddressedTo(handle, senders.localHp10Device());
        }
        message = encodeFrameMessage(uint16_t(handle), frame_.data(), frame_.size());
        return true;
    }
    return false;
}

}  // namespace corvel::capture
