// SPDX-License-Identifier: MIT
#include "transport/capture_protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvel::capture {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes frameOf(uint16_t ethertype, size_t length) {
    Bytes frame(length, 0x5A);
    if (length >= 14) {
        frame[12] = uint8_t(ethertype >> 8);
        frame[13] = uint8_t(ethertype);
    }
    return frame;
}

// type, id 0x04030201, then the body
Bytes requestBytes(uint8_t type, const Bytes& body) {
    Bytes out = {type, 0x01, 0x02, 0x03, 0x04};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes sendBody(uint16_t handle, const Bytes& frame) {
    Bytes body = {uint8_t(handle), uint8_t(handle >> 8)};
    body.insert(body.end(), frame.begin(), frame.end());
    return body;
}

TEST(CaptureProtocol, RequestsBuildTheBytesTheyParseFrom) {
    Request send;
    send.type = RequestType::Send;
    send.id = 0x04030201;
    send.handle = 0x0102;
    send.frame = frameOf(0x88E1, 60);
    const Bytes bytes = encodeRequest(send);
    EXPECT_EQ(bytes, requestBytes(4, sendBody(0x0102, send.frame)));

    Request parsed;
    std::string error;
    ASSERT_TRUE(parseRequest(bytes.data(), bytes.size(), parsed, error)) << error;
    EXPECT_EQ(parsed.type, RequestType::Send);
    EXPECT_EQ(parsed.id, 0x04030201u);
    EXPECT_EQ(parsed.handle, 0x0102);
    EXPECT_EQ(parsed.frame, send.frame);

    Request open;
    open.type = RequestType::Open;
    open.id = 7;
    open.name = "enp3s0";
    const Bytes openBytes = encodeRequest(open);
    EXPECT_EQ(openBytes, (Bytes{2, 7, 0, 0, 0, 'e', 'n', 'p', '3', 's', '0'}));
    ASSERT_TRUE(parseRequest(openBytes.data(), openBytes.size(), parsed, error)) << error;
    EXPECT_EQ(parsed.name, "enp3s0");
}

struct RequestCase {
    const char* what;
    Bytes bytes;
    bool accepted;
};

TEST(CaptureProtocol, EveryRequestIsCheckedForItsForm) {
    const Bytes longest(1514, 0);
    const RequestCase cases[] = {
        {"list", requestBytes(1, {}), true},
        {"release", requestBytes(5, {}), true},
        {"list with bytes after it", requestBytes(1, {0}), false},
        {"release with bytes after it", requestBytes(5, {1, 2}), false},
        {"no header", {1, 0, 0}, false},
        {"nothing", {}, false},
        {"unknown type 0", requestBytes(0, {}), false},
        {"unknown type 6", requestBytes(6, {}), false},
        {"a reply sent as a request", requestBytes(0x80, {}), false},
        {"open of a 15-byte name", requestBytes(2, Bytes(15, 'a')), true},
        {"open of a 16-byte name", requestBytes(2, Bytes(16, 'a')), false},
        {"open of no name", requestBytes(2, {}), false},
        {"open of a name with a NUL", requestBytes(2, {'e', 0, 'x'}), false},
        {"close", requestBytes(3, {1, 0}), true},
        {"close of a short handle", requestBytes(3, {1}), false},
        {"close with bytes after the handle", requestBytes(3, {1, 0, 0}), false},
        {"send of an AV frame", requestBytes(4, sendBody(0, frameOf(0x88E1, 60))), true},
        {"send of a 1.0 frame", requestBytes(4, sendBody(0, frameOf(0x887B, 60))), true},
        {"send of a bare header", requestBytes(4, sendBody(0, frameOf(0x88E1, 14))), true},
        {"send of 1514 bytes", requestBytes(4, sendBody(0, frameOf(0x88E1, 1514))), true},
        {"send of 1515 bytes", requestBytes(4, sendBody(0, frameOf(0x88E1, 1515))), false},
        {"send of 13 bytes", requestBytes(4, sendBody(0, frameOf(0x88E1, 13))), false},
        {"send of IPv4", requestBytes(4, sendBody(0, frameOf(0x0800, 60))), false},
        {"send of a VLAN-tagged frame", requestBytes(4, sendBody(0, frameOf(0x8100, 60))), false},
        {"send of the Ethertype's byte swap", requestBytes(4, sendBody(0, frameOf(0xE188, 60))),
         false},
        {"send without a handle", requestBytes(4, {0}), false},
    };
    for (const RequestCase& c : cases) {
        SCOPED_TRACE(c.what);
        Request parsed;
        std::string error;
        EXPECT_EQ(parseRequest(c.bytes.data(), c.bytes.size(), parsed, error), c.accepted);
        EXPECT_EQ(error.empty(), c.accepted) << error;
        // A refusal answers the request it refuses whenever its id could be read.
        if (c.bytes.size() >= kRequestHeaderLength) {
            EXPECT_EQ(parsed.id, 0x04030201u);
        }
    }
}

TEST(CaptureProtocol, TheListingComesBackAsSentWithLongTextsCut) {
    std::vector<HostInterface> sent = {
        {"host0", "", Mac{2, 0, 0, 0, 0, 1}},
        {"enp3s0", std::string(300, 'd'), Mac{2, 0, 0, 0, 0, 2}},
    };
    const Bytes bytes = encodeListing(sent);
    std::vector<HostInterface> read;
    ASSERT_TRUE(parseListing(bytes.data(), bytes.size(), read));
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].name, "host0");
    EXPECT_EQ(read[0].mac, sent[0].mac);
    EXPECT_EQ(read[1].description, std::string(255, 'd'));
    EXPECT_EQ(read[1].mac, sent[1].mac);

    // Cut anywhere, or with a byte more, it is no listing.
    for (size_t cut = 0; cut < bytes.size(); ++cut)
        EXPECT_FALSE(parseListing(bytes.data(), cut, read)) << "cut at " << cut;
    Bytes longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(parseListing(longer.data(), longer.size(), read));
    // A name longer than an interface name can be, or empty.
    Bytes longName = {1, 16};
    longName.insert(longName.end(), 16, 'a');
    longName.insert(longName.end(), 7, 0);
    EXPECT_FALSE(parseListing(longName.data(), longName.size(), read));
    const Bytes noName = {1, 0, 0, 1, 2, 3, 4, 5, 6};
    EXPECT_FALSE(parseListing(noName.data(), noName.size(), read));
}

TEST(CaptureProtocol, OnlyRepliesAndPowerlineFramesAreTakenFromTheHelper) {
    HelperMessage message;
    const Bytes ok = encodeReply(9, ReplyStatus::Ok, {0x03, 0x00});
    ASSERT_TRUE(parseHelperMessage(ok.data(), ok.size(), message));
    EXPECT_EQ(message.kind, HelperMessage::Kind::Reply);
    EXPECT_EQ(message.id, 9u);
    EXPECT_EQ(message.body, (Bytes{0x03, 0x00}));

    const Bytes refused = encodeErrorReply(10, ReplyStatus::NotPermitted, std::string(600, 'x'));
    ASSERT_TRUE(parseHelperMessage(refused.data(), refused.size(), message));
    EXPECT_EQ(message.status, ReplyStatus::NotPermitted);
    EXPECT_EQ(message.body.size(), kMaxErrorText);

    const Bytes av = frameOf(0x88E1, 60);
    const Bytes frame = encodeFrameMessage(2, av.data(), av.size());
    ASSERT_TRUE(parseHelperMessage(frame.data(), frame.size(), message));
    EXPECT_EQ(message.kind, HelperMessage::Kind::Frame);
    EXPECT_EQ(message.handle, 2);
    EXPECT_EQ(message.body, av);

    const Bytes ip = frameOf(0x0800, 60);
    const Bytes runt = frameOf(0x88E1, 13);
    const Bytes rejected[] = {
        encodeFrameMessage(2, ip.data(), ip.size()),
        encodeFrameMessage(2, runt.data(), runt.size()),
        {kReplyMessage, 1, 0, 0, 0, 4},  // no such status
        {kReplyMessage, 1, 0, 0},        // short header
        {0x82, 0, 0},
        {},
    };
    for (const Bytes& bytes : rejected)
        EXPECT_FALSE(parseHelperMessage(bytes.data(), bytes.size(), message));
}

}  // namespace
}  // namespace corvel::capture
