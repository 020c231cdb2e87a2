// SPDX-License-Identifier: MIT
#include "capture/serve.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <vector>

#include "transport/capture_protocol.h"

namespace corvel::capture {

namespace {

// Room for a burst of answers from every station of a network while the caller is busy: the
// kernel caps it at its wmem_max.
constexpr int kSendBufferBytes = 1 << 20;

enum class Sent { Done, Full, Broken };

Sent sendMessage(int socket, const std::vector<uint8_t>& message, bool wait) {
    for (;;) {
        const ssize_t n = ::send(socket, message.data(), message.size(),
                                 MSG_NOSIGNAL | (wait ? 0 : MSG_DONTWAIT));
        if (n == ssize_t(message.size())) return Sent::Done;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Sent::Full;
        return Sent::Broken;
    }
}

}  // namespace

bool isSeqpacketSocket(int fd) {
    int type = 0;
    int domain = 0;
    socklen_t length = sizeof type;
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0) return false;
    length = sizeof domain;
    if (::getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &length) != 0) return false;
    return type == SOCK_SEQPACKET && domain == AF_UNIX;
}

int serveCaller(int socket, CaptureService& service, CaptureBackend& backend) {
    const int bufferBytes = kSendBufferBytes;
    ::setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);
    // One byte more than the longest request, so that a longer one shows as such.
    std::vector<uint8_t> request(kMaxRequestLength + 1);
    std::vector<uint8_t> pending;  // a frame message the socket had no room for
    int pendingHandle = -1;
    std::vector<pollfd> watched;
    std::vector<int> watchedHandles;
    for (;;) {
        watched.assign(1, pollfd{socket, short(POLLIN | (pending.empty() ? 0 : POLLOUT)), 0});
        watchedHandles.clear();
        bool undescribed = false;
        // While a frame waits for room, further frames stay in their capture rings.
        if (pending.empty()) {
            for (int handle : service.openHandles()) {
                const int fd = backend.selectableDescriptor(handle);
                if (fd < 0) {
                    undescribed = true;
                    continue;
                }
                watched.push_back({fd, POLLIN, 0});
                watchedHandles.push_back(handle);
            }
        }
        if (::poll(watched.data(), watched.size(), undescribed ? 1 : -1) < 0) {
            if (errno == EINTR) continue;
            return 1;
        }

        const short caller = watched[0].revents;
        if ((caller & POLLIN) != 0) {
            for (;;) {
                const ssize_t n = ::recv(socket, request.data(), request.size(), MSG_DONTWAIT);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
                if (n < 0) return 1;
                if (n == 0) return 0;  // the caller closed its end
                if (sendMessage(socket, service.answer(request.data(), size_t(n)), true) !=
                    Sent::Done)
                    return 0;
                // A frame of a capture closed meanwhile must not reach a capture reopened on
                // the same handle.
                if (!pending.empty() && !service.isOpen(pendingHandle)) pending.clear();
            }
        } else if ((caller & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            return (caller & POLLHUP) != 0 ? 0 : 1;
        }

        if (!pending.empty()) {
            const Sent sent = sendMessage(socket, pending, false);
            if (sent == Sent::Broken) return 0;
            if (sent == Sent::Full) continue;
            pending.clear();
        }

        std::vector<int> ready;
        for (size_t i = 1; i < watched.size(); ++i)
            if (watched[i].revents != 0) ready.push_back(watchedHandles[i - 1]);
        if (undescribed)
            for (int handle : service.openHandles())
                if (backend.selectableDescriptor(handle) < 0) ready.push_back(handle);
        std::vector<uint8_t> message;
        for (int handle : ready) {
            while (pending.empty() && service.nextFrame(handle, message)) {
                const Sent sent = sendMessage(socket, message, false);
                if (sent == Sent::Broken) return 0;
                if (sent == Sent::Full) {
                    pending = std::move(message);
                    pendingHandle = handle;
                }
            }
        }
    }
}

}  // namespace corvel::capture
