// SPDX-License-Identifier: MIT
#include "transport/helper_backend.h"

#include <linux/capability.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "transport/pcap_backend.h"

namespace corvel {

namespace {

using SteadyClock = std::chrono::steady_clock;

// The helper's name; the product starts it from beside its own executable only.
constexpr const char* kHelperName = "corvel-capture";
constexpr int kHelperReadTimeoutMs = 2;  // a capture's read time-out, as libpcap's handles have
// Handles are the helper's capture slots: a few per interface.
constexpr int kMaxHelperHandles = 1024;
// Frames kept per handle until taken; more are dropped, as a full capture ring drops them.
constexpr size_t kInboxFrames = 1024;

int remainingMs(SteadyClock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0) return 0;
    return int((left.count() + 999) / 1000);
}

// A helper that stopped answering would not see its socket close either. Only a process this
// one started is signalled: kill() with 0 or -1 reaches a whole process group or every process
// the caller may signal, and a helper served from a thread has no process (pid -1).
void killHungHelper(pid_t pid) {
    if (pid > 0) ::kill(pid, SIGKILL);
}

}  // namespace

bool canCaptureDirectly() {
    if (::geteuid() == 0) return true;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    return (data[CAP_NET_RAW / 32].effective & (1u << (CAP_NET_RAW % 32))) != 0;
}

std::string captureHelperBesideProgram() {
    char path[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    std::string self(path, size_t(n));
    const size_t slash = self.rfind('/');
    if (slash == std::string::npos) return "";
    return self.substr(0, slash + 1) + kHelperName;
}

bool startCaptureHelper(const std::string& path, HelperProcess& out, std::string& error) {
    int pair[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        error = std::string("cannot make the capture helper's socket pair: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The helper's end becomes its standard input, the only descriptor it serves; every other
    // descriptor of this process is close-on-exec or closed by the helper at start.
    posix_spawn_file_actions_adddup2(&actions, pair[1], 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char name[] = "corvel-capture";
    char* argv[] = {name, nullptr};
    char* envp[] = {nullptr};  // the helper needs no environment and is given none
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pair[1]);
    if (spawned != 0) {
        ::close(pair[0]);
        error = "cannot start the capture helper " + path + ": " + std::strerror(spawned);
        return false;
    }
    out.pid = pid;
    out.socket = pair[0];
    return true;
}

void stopCaptureHelper(HelperProcess& helper) {
    if (helper.socket >= 0) ::close(helper.socket);
    helper.socket = -1;
    if (helper.pid > 0) {
        while (::waitpid(helper.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    helper.pid = -1;
}

HelperBackend::HelperBackend(std::string helperPath) : path_(std::move(helperPath)) {}

HelperBackend::HelperBackend(HelperProcess running, int replyTimeoutMs)
    : helper_(running), replyTimeoutMs_(replyTimeoutMs) {}

HelperBackend::~HelperBackend() { stop(); }

void HelperBackend::stop() {
    stopCaptureHelper(helper_);
    inboxes_.clear();
}

bool HelperBackend::ensureStarted(std::string& error) {
    if (running()) return true;
    if (startRefused_) {
        error = startError_;
        return false;
    }
    const std::string path = path_.empty() ? captureHelperBesideProgram() : path_;
    if (path.empty()) {
        startError_ = "cannot find the capture helper beside this program";
    } else if (startCaptureHelper(path, helper_, startError_)) {
        return true;
    }
    // Not installed, or this user may not run it: that stays so for the life of the process.
    startRefused_ = true;
    error = startError_;
    return false;
}

capture::Request HelperBackend::newRequest(capture::RequestType type) {
    return capture::Request(type, nextId_++);
}

HelperBackend::Inbox* HelperBackend::inboxOf(int handle) {
    if (handle < 0 || size_t(handle) >= inboxes_.size() || !inboxes_[size_t(handle)].open)
        return nullptr;
    return &inboxes_[size_t(handle)];
}

void HelperBackend::keepFrame(uint16_t handle, std::vector<uint8_t> frame) {
    // Frames of a handle closed meanwhile belong to no open capture.
    Inbox* inbox = inboxOf(handle);
    if (inbox != nullptr && inbox->frames.size() < kInboxFrames)
        inbox->frames.push_back(std::move(frame));
}

HelperBackend::Arrival HelperBackend::receive(int timeoutMs, capture::HelperMessage* reply) {
    if (!running()) return Arrival::Gone;
    pollfd readable{helper_.socket, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&readable, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) return Arrival::Frames;
    buffer_.resize(capture::kMaxHelperMessage + 1);
    for (;;) {
        const ssize_t n = ::recv(helper_.socket, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Arrival::Frames;
        if (n <= 0) {  // the helper ended
            stop();
            return Arrival::Gone;
        }
        capture::HelperMessage message;
        // A message the protocol does not allow is dropped: it carries nothing to believe.
        if (!capture::parseHelperMessage(buffer_.data(), size_t(n), message)) continue;
        if (message.kind == capture::HelperMessage::Kind::Frame) {
            keepFrame(message.handle, std::move(message.body));
        } else if (reply != nullptr) {
            *reply = std::move(message);
            return Arrival::Reply;
        }
    }
}

bool HelperBackend::exchange(const capture::Request& request, capture::HelperMessage& reply,
                             std::string& error) {
    if (!running()) {
        error = "the capture helper is not running";
        return false;
    }
    const std::vector<uint8_t> bytes = capture::encodeRequest(request);
    ssize_t sent = -1;
    do {
        sent = ::send(helper_.socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent != ssize_t(bytes.size())) {
        stop();
        error = "the capture helper stopped";
        return false;
    }
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(replyTimeoutMs_);
    for (;;) {
        const Arrival arrival = receive(remainingMs(deadline), &reply);
        if (arrival == Arrival::Gone) {
            error = "the capture helper stopped";
            return false;
        }
        // Requests are answered in order, one at a time: a reply to another id is stale.
        if (arrival == Arrival::Reply && reply.id == request.id) return true;
        if (SteadyClock::now() >= deadline) {
            killHungHelper(helper_.pid);
            stop();
            error = "the capture helper did not answer";
            return false;
        }
    }
}

bool HelperBackend::listInterfaces(std::vector<HostInterface>& out, std::string& error) {
    if (std::string refused; !ensureStarted(refused)) {
        // Listing needs no privilege: the interfaces are still shown, and every open is then
        // refused for want of privileges, which the front ends say as such.
        PcapBackend lister;
        return lister.listInterfaces(out, error);
    }
    capture::HelperMessage reply;
    if (!exchange(newRequest(capture::RequestType::List), reply, error)) return false;
    if (reply.status != capture::ReplyStatus::Ok) {
        error.assign(reply.body.begin(), reply.body.end());
        return false;
    }
    if (!capture::parseListing(reply.body.data(), reply.body.size(), out)) {
        error = "the capture helper sent a malformed interface list";
        return false;
    }
    return true;
}

int HelperBackend::openCapture(const std::string& name, std::string& error) {
    permissionDenied_ = false;
    if (std::string refused; !ensureStarted(refused)) {
        permissionDenied_ = true;
        error = name + ": " + refused;
        return -1;
    }
    capture::Request request = newRequest(capture::RequestType::Open);
    request.name = name;
    capture::HelperMessage reply;
    if (!exchange(request, reply, error)) {
        error = name + ": " + error;
        return -1;
    }
    if (reply.status != capture::ReplyStatus::Ok) {
        permissionDenied_ = reply.status == capture::ReplyStatus::NotPermitted;
        error.assign(reply.body.begin(), reply.body.end());
        return -1;
    }
    if (reply.body.size() != 2) {
        error = name + ": the capture helper sent a malformed handle";
        return -1;
    }
    const int handle = reply.body[0] | (reply.body[1] << 8);
    if (handle >= kMaxHelperHandles) {
        error = name + ": the capture helper sent a malformed handle";
        return -1;
    }
    if (size_t(handle) >= inboxes_.size()) inboxes_.resize(size_t(handle) + 1);
    // Whatever arrived before the reply belongs to an earlier capture on this handle.
    inboxes_[size_t(handle)] = Inbox{true, {}};
    return handle;
}

void HelperBackend::closeCapture(int handle) {
    Inbox* inbox = inboxOf(handle);
    if (inbox == nullptr) return;
    *inbox = Inbox{};
    capture::Request request = newRequest(capture::RequestType::Close);
    request.handle = uint16_t(handle);
    capture::HelperMessage reply;
    std::string ignored;
    exchange(request, reply, ignored);
}

void HelperBackend::releaseUnused() {
    if (!running()) return;
    capture::HelperMessage reply;
    std::string ignored;
    exchange(newRequest(capture::RequestType::Release), reply, ignored);
}

bool HelperBackend::sendRaw(int handle, const uint8_t* data, size_t length) {
    if (inboxOf(handle) == nullptr) return false;
    capture::Request request = newRequest(capture::RequestType::Send);
    request.handle = uint16_t(handle);
    request.frame.assign(data, data + length);
    capture::HelperMessage reply;
    std::string error;
    if (!exchange(request, reply, error)) throw CaptureFault(error);
    return reply.status == capture::ReplyStatus::Ok;
}

bool HelperBackend::anyWaiting(const std::vector<int>& handles) {
    for (int handle : handles)
        if (const Inbox* inbox = inboxOf(handle); inbox != nullptr && !inbox->frames.empty())
            return true;
    return false;
}

bool HelperBackend::waitAny(const std::vector<int>& handles) {
    if (anyWaiting(handles)) return true;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(kHelperReadTimeoutMs);
    // Frames of other handles may end a poll early; the wait goes on until the time-out.
    while (!anyWaiting(handles)) {
        const int left = remainingMs(deadline);
        if (left == 0) break;
        if (receive(left, nullptr) == Arrival::Gone) throw CaptureFault("the capture helper stopped");
    }
    return anyWaiting(handles);
}

PollResult HelperBackend::takeRaw(int handle, std::vector<uint8_t>& frame) {
    Inbox* inbox = inboxOf(handle);
    if (inbox == nullptr) return PollResult::None;
    if (inbox->frames.empty()) {
        if (receive(0, nullptr) == Arrival::Gone) throw CaptureFault("the capture helper stopped");
        inbox = inboxOf(handle);
        if (inbox == nullptr || inbox->frames.empty()) return PollResult::None;
    }
    frame = std::move(inbox->frames.front());
    inbox->frames.pop_front();
    return PollResult::Frame;
}

PollResult HelperBackend::pollRaw(int handle, std::vector<uint8_t>& frame) {
    if (takeRaw(handle, frame) == PollResult::Frame) return PollResult::Frame;
    if (!waitAny({handle})) return PollResult::None;
    return takeRaw(handle, frame);
}

}  // namespace corvel
