// SPDX-License-Identifier: MIT
#include "transport/capture_protocol.h"

#include <algorithm>

#include "platform/bytes.h"
#include "platform/ethertypes.h"
#include "transport/mme_frame.h"

namespace corvel::capture {

namespace {

constexpr size_t kMaxDescription = 255;

// A message's type and id, with room for `bodyLength` more bytes.
std::vector<uint8_t> headerOf(uint8_t type, uint32_t id, size_t bodyLength) {
    std::vector<uint8_t> out;
    out.reserve(kRequestHeaderLength + bodyLength);
    out.push_back(type);
    for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(id >> shift));
    return out;
}

void appendHandle(std::vector<uint8_t>& out, uint16_t handle) {
    out.push_back(uint8_t(handle));
    out.push_back(uint8_t(handle >> 8));
}

bool knownRequestType(uint8_t type) {
    return type >= uint8_t(RequestType::List) && type <= uint8_t(RequestType::Release);
}

}  // namespace

bool isRelayedFrame(const uint8_t* data, size_t length) {
    if (length < kMinRelayedFrame || length > kMaxFrameLength) return false;
    const uint16_t ethertype = get16be(data + 12);
    return isPowerlineEthertype(ethertype);
}

std::vector<uint8_t> encodeRequest(const Request& request) {
    std::vector<uint8_t> out = headerOf(uint8_t(request.type), request.id,
                                        2 + request.name.size() + request.frame.size());
    switch (request.type) {
        case RequestType::Open:
            out.insert(out.end(), request.name.begin(), request.name.end());
            break;
        case RequestType::Close:
            appendHandle(out, request.handle);
            break;
        case RequestType::Send:
            appendHandle(out, request.handle);
            out.insert(out.end(), request.frame.begin(), request.frame.end());
            break;
        case RequestType::List:
        case RequestType::Release:
            break;
    }
    return out;
}

bool parseRequest(const uint8_t* data, size_t length, Request& out, std::string& error) {
    out = Request{};
    if (length < kRequestHeaderLength) {
        error = "request shorter than its header";
        return false;
    }
    out.id = get32le(data + 1);
    if (length > kMaxRequestLength) {
        error = "request longer than any request";
        return false;
    }
    if (!knownRequestType(data[0])) {
        error = "unknown request type";
        return false;
    }
    out.type = RequestType(data[0]);
    const uint8_t* body = data + kRequestHeaderLength;
    const size_t bodyLength = length - kRequestHeaderLength;
    switch (out.type) {
        case RequestType::List:
        case RequestType::Release:
            if (bodyLength != 0) {
                error = "request carries unexpected bytes";
                return false;
            }
            return true;
        case RequestType::Open:
            if (bodyLength == 0 || bodyLength > kMaxInterfaceName ||
                std::find(body, body + bodyLength, uint8_t(0)) != body + bodyLength) {
                error = "malformed interface name";
                return false;
            }
            out.name.assign(body, body + bodyLength);
            return true;
        case RequestType::Close:
            if (bodyLength != 2) {
                error = "malformed handle";
                return false;
            }
            out.handle = get16le(body);
            return true;
        case RequestType::Send:
            if (bodyLength < 2) {
                error = "malformed handle";
                return false;
            }
            out.handle = get16le(body);
            if (!isRelayedFrame(body + 2, bodyLength - 2)) {
                error = "only HomePlug management frames (Ethertype 0x887B or 0x88E1) of 14 to "
                        "1514 bytes are sent";
                return false;
            }
            out.frame.assign(body + 2, body + bodyLength);
            return true;
    }
    return false;
}

std::vector<uint8_t> encodeReply(uint32_t id, ReplyStatus status, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out = headerOf(kReplyMessage, id, 1 + body.size());
    out.push_back(uint8_t(status));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

std::vector<uint8_t> encodeErrorReply(uint32_t id, ReplyStatus status, const std::string& text) {
    const size_t kept = std::min(text.size(), kMaxErrorText);
    return encodeReply(id, status, std::vector<uint8_t>(text.begin(), text.begin() + long(kept)));
}

std::vector<uint8_t> encodeFrameMessage(uint16_t handle, const uint8_t* data, size_t length) {
    std::vector<uint8_t> out{kFrameMessage};
    appendHandle(out, handle);
    out.insert(out.end(), data, data + length);
    return out;
}

std::vector<uint8_t> encodeListing(const std::vector<HostInterface>& interfaces) {
    std::vector<uint8_t> out;
    const size_t count = std::min(interfaces.size(), kMaxListed);
    out.push_back(uint8_t(count));
    for (size_t i = 0; i < count; ++i) {
        const HostInterface& host = interfaces[i];
        const size_t nameLength = std::min(host.name.size(), kMaxInterfaceName);
        const size_t descriptionLength = std::min(host.description.size(), kMaxDescription);
        out.push_back(uint8_t(nameLength));
        out.insert(out.end(), host.name.begin(), host.name.begin() + long(nameLength));
        out.push_back(uint8_t(descriptionLength));
        out.insert(out.end(), host.description.begin(),
                   host.description.begin() + long(descriptionLength));
        out.insert(out.end(), host.mac.begin(), host.mac.end());
    }
    return out;
}

bool parseListing(const uint8_t* data, size_t length, std::vector<HostInterface>& out) {
    out.clear();
    if (length < 1 || data[0] > kMaxListed) return false;
    const size_t count = data[0];
    size_t at = 1;
    // A text of its length byte's size, within the message.
    auto text = [&](std::string& into, size_t limit) {
        if (at >= length) return false;
        const size_t n = data[at++];
        if (n > limit || length - at < n) return false;
        into.assign(data + at, data + at + n);
        at += n;
        return true;
    };
    for (size_t i = 0; i < count; ++i) {
        HostInterface host;
        if (!text(host.name, kMaxInterfaceName) || host.name.empty() ||
            host.name.find('\0') != std::string::npos || !text(host.description, kMaxDescription) ||
            length - at < host.mac.size())
            return false;
        std::copy_n(data + at, host.mac.size(), host.mac.begin());
        at += host.mac.size();
        out.push_back(std::move(host));
    }
    return at == length;
}

bool parseHelperMessage(const uint8_t* data, size_t length, HelperMessage& out) {
    out = HelperMessage{};
    if (length < 1 || length > kMaxHelperMessage) return false;
    if (data[0] == kReplyMessage) {
        if (length < kReplyHeaderLength || data[5] > uint8_t(ReplyStatus::NotPermitted))
            return false;
        out.kind = HelperMessage::Kind::Reply;
        out.id = get32le(data + 1);
        out.status = ReplyStatus(data[5]);
        out.body.assign(data + kReplyHeaderLength, data + length);
        return true;
    }
    if (data[0] == kFrameMessage) {
        if (length < kFrameHeaderLength ||
            !isRelayedFrame(data + kFrameHeaderLength, length - kFrameHeaderLength))
            return false;
        out.kind = HelperMessage::Kind::Frame;
        out.handle = get16le(data + 1);
        out.body.assign(data + kFrameHeaderLength, data + length);
        return true;
    }
    return false;
}

}  // namespace corvel::capture
