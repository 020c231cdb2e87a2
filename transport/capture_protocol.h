// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "transport/capture_backend.h"

// The messages between an unprivileged corvel or corvel-utility and corvel-capture, the small
// helper that alone holds the capture capabilities. They travel over a SOCK_SEQPACKET socket
// pair, one message per request, reply or frame, so no boundary has to be found in a stream and
// a message cut short by the kernel is seen as such.
//
// The helper relays frames; it never hands its packet sockets to the caller. A passed descriptor
// would let the caller detach or replace the powerline filter, bind the socket to another
// interface and send any Ethertype: the helper could no longer promise that only powerline
// management frames pass.
//
// Caller to helper, one request at a time: type (1 byte), id (32-bit little-endian), then
//   List     nothing                   the Ethernet, non-loopback interfaces the helper may open
//   Open     interface name            one of the last listing, not already open
//   Close    handle (16-bit LE)
//   Send     handle (16-bit LE), frame 14 to 1514 bytes with Ethertype 0x887B or 0x88E1
//   Release  nothing                   close what was kept aside for reuse
// Helper to caller:
//   Reply    0x80, the request's id (32-bit LE), status (1 byte), body: on success the listing
//            (List) or the handle (Open), otherwise a readable error text
//   Frame    0x81, handle (16-bit LE), the captured frame (a powerline frame, 14 to 1514 bytes)
namespace corvel::capture {

enum class RequestType : uint8_t { List = 1, Open = 2, Close = 3, Send = 4, Release = 5 };

inline constexpr uint8_t kReplyMessage = 0x80;
inline constexpr uint8_t kFrameMessage = 0x81;

enum class ReplyStatus : uint8_t {
    Ok = 0,
    Refused = 1,       // the request is malformed or not allowed; nothing was done
    Failed = 2,        // the capture library failed
    NotPermitted = 3,  // the capture library was refused for want of privileges
};

inline constexpr size_t kRequestHeaderLength = 5;
inline constexpr size_t kReplyHeaderLength = 6;
inline constexpr size_t kFrameHeaderLength = 3;
// An Ethernet header: destination, source, Ethertype.
inline constexpr size_t kMinRelayedFrame = 14;
// The longest request: a Send of the longest frame.
inline constexpr size_t kMaxRequestLength = kRequestHeaderLength + 2 + 1514;
// Linux interface names are at most IFNAMSIZ - 1 bytes.
inline constexpr size_t kMaxInterfaceName = 15;
// A listing names at most this many interfaces, each description cut to 255 bytes; error texts
// are cut to kMaxErrorText.
inline constexpr size_t kMaxListed = 64;
inline constexpr size_t kMaxErrorText = 512;
// Bounds every message the caller reads: a full listing fits.
inline constexpr size_t kMaxHelperMessage = kReplyHeaderLength + 1 + kMaxListed * (2 + 15 + 255 + 6);

struct Request {
    explicit Request(RequestType type_ = RequestType::List, uint32_t id_ = 0)
        : type(type_), id(id_) {}
    RequestType type;
    uint32_t id;
    std::string name;               // Open
    uint16_t handle = 0;            // Close, Send
    std::vector<uint8_t> frame;     // Send
};

// Whether `length` bytes are a frame the helper carries: a whole Ethernet header, at most 1514
// bytes, Ethertype 0x887B (HomePlug 1.0) or 0x88E1 (HomePlug AV).
bool isRelayedFrame(const uint8_t* data, size_t length);

std::vector<uint8_t> encodeRequest(const Request& request);
// False with `error` when the bytes are no well-formed request; `out.id` is set whenever the
// header was complete, so that the refusal answers the request it refuses.
bool parseRequest(const uint8_t* data, size_t length, Request& out, std::string& error);

std::vector<uint8_t> encodeReply(uint32_t id, ReplyStatus status, const std::vector<uint8_t>& body);
std::vector<uint8_t> encodeErrorReply(uint32_t id, ReplyStatus status, const std::string& text);
std::vector<uint8_t> encodeFrameMessage(uint16_t handle, const uint8_t* data, size_t length);

std::vector<uint8_t> encodeListing(const std::vector<HostInterface>& interfaces);
bool parseListing(const uint8_t* data, size_t length, std::vector<HostInterface>& out);

// One message from the helper, read without trusting it.
struct HelperMessage {
    enum class Kind { Reply, Frame } kind = Kind::Reply;
    uint32_t id = 0;                   // Reply
    ReplyStatus status = ReplyStatus::Ok;
    uint16_t handle = 0;               // Frame
    std::vector<uint8_t> body;         // the reply's body, or the frame
};
bool parseHelperMessage(const uint8_t* data, size_t length, HelperMessage& out);

}  // namespace corvel::capture
