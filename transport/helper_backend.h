// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "transport/capture_backend.h"
#include "transport/capture_protocol.h"

// Capture through corvel-capture, the helper that alone carries cap_net_raw and cap_net_admin,
// for a process without them: the frame and file parsers of corvel and corvel-utility, and
// whatever code Qt loads from the user's environment, never run with a privilege.
namespace corvel {

// Whether this process can open packet sockets itself: effective user root, or CAP_NET_RAW in
// its effective set.
bool canCaptureDirectly();

// The helper beside this program's own executable (from /proc/self/exe, never from PATH or the
// environment); empty when the executable cannot be read.
std::string captureHelperBesideProgram();

// A running helper: its process and this end of its socket pair.
struct HelperProcess {
    pid_t pid = -1;
    int socket = -1;
};

// Starts the helper at `path` with an empty environment, its end of a new SOCK_SEQPACKET socket
// pair as standard input. False with `error` when it cannot be started (not installed, or not
// executable by this user: not a member of the group that may run it).
bool startCaptureHelper(const std::string& path, HelperProcess& out, std::string& error);
// Closes this end (the helper exits when it sees it close) and reaps the helper.
void stopCaptureHelper(HelperProcess& helper);

// How long a request waits for the helper's reply before the helper counts as hung. Listing
// interfaces asks the kernel (and libpcap's other sources) for every device: generous.
inline constexpr int kHelperReplyTimeoutMs = 10000;

class HelperBackend : public CaptureBackend {
public:
    // `helperPath` empty: the helper beside this program.
    explicit HelperBackend(std::string helperPath = "");
    // Talks to a helper already running at the other end of `running.socket` (tests serve one
    // in a thread, with no process: pid -1), waiting up to `replyTimeoutMs` for each reply.
    explicit HelperBackend(HelperProcess running, int replyTimeoutMs = kHelperReplyTimeoutMs);
    ~HelperBackend() override;
    HelperBackend(const HelperBackend&) = delete;
    HelperBackend& operator=(const HelperBackend&) = delete;

    bool listInterfaces(std::vector<HostInterface>& out, std::string& error) override;
    int openCapture(const std::string& name, std::string& error) override;
    void closeCapture(int handle) override;
    void releaseUnused() override;
    bool sendRaw(int handle, const uint8_t* data, size_t length) override;
    PollResult pollRaw(int handle, std::vector<uint8_t>& frame) override;
    PollResult takeRaw(int handle, std::vector<uint8_t>& frame) override;
    bool waitAny(const std::vector<int>& handles) override;
    bool permissionDenied() const override { return permissionDenied_; }

    // Whether the helper runs (for tests and the benchmark).
    bool running() const { return helper_.socket >= 0; }

private:
    struct Inbox {
        bool open = false;
        std::deque<std::vector<uint8_t>> frames;
    };
    bool ensureStarted(std::string& error);
    capture::Request newRequest(capture::RequestType type);
    void stop();
    // Sends one request and reads until its reply, keeping the frames that arrive meanwhile.
    bool exchange(const capture::Request& request, capture::HelperMessage& reply,
                  std::string& error);
    enum class Arrival { Frames, Reply, Gone };
    // Reads what the helper has sent, waiting up to `timeoutMs` for the first message (0: not
    // at all); frames go to their inboxes. Stops at a reply when `reply` is given.
    Arrival receive(int timeoutMs, capture::HelperMessage* reply);
    void keepFrame(uint16_t handle, std::vector<uint8_t> frame);
    Inbox* inboxOf(int handle);
    bool anyWaiting(const std::vector<int>& handles);

    std::string path_;
    HelperProcess helper_;
    int replyTimeoutMs_ = kHelperReplyTimeoutMs;
    std::string startError_;
    bool startRefused_ = false;
    bool permissionDenied_ = false;
    uint32_t nextId_ = 1;
    std::vector<Inbox> inboxes_;
    std::vector<uint8_t> buffer_;
};

}  // namespace corvel
