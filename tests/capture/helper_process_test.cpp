// SPDX-License-Identifier: MIT
// The built corvel-capture as the product starts it: what it keeps of its start, what it
// answers, and its end when the caller's end closes. No frame is sent: nothing is opened.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "tests/capture/test_frames.h"
#include "transport/capture_protocol.h"
#include "transport/helper_backend.h"

namespace corvel::capture {
namespace {

HelperMessage exchange(int socket, Request request) {
    const Bytes bytes = encodeRequest(request);
    EXPECT_EQ(::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    Bytes reply(kMaxHelperMessage);
    const ssize_t n = ::recv(socket, reply.data(), reply.size(), 0);
    HelperMessage message;
    EXPECT_TRUE(n > 0 && parseHelperMessage(reply.data(), size_t(n), message));
    EXPECT_EQ(message.id, request.id);
    return message;
}

std::map<std::string, std::string> statusOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::map<std::string, std::string> fields;
    for (std::string line; std::getline(in, line);) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        fields[line.substr(0, colon)] = value;
    }
    return fields;
}

TEST(HelperProcess, KeepsOnlyTheCaptureCapabilitiesAndNothingOfItsCaller) {
    // A descriptor this process leaks to its children: the helper must not keep it.
    const int leaked = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 0);
    HelperProcess helper;
    std::string error;
    ASSERT_TRUE(startCaptureHelper(CORVEL_CAPTURE_HELPER, helper, error)) << error;
    ::close(leaked);
    // A reply means it is past its confinement.
    Request list{RequestType::List, 1};
    EXPECT_EQ(exchange(helper.socket, list).status, ReplyStatus::Ok);

    const auto status = statusOf(helper.pid);
    EXPECT_EQ(status.at("NoNewPrivs"), "1");
    EXPECT_EQ(status.at("CapInh"), "0000000000000000");
    EXPECT_EQ(status.at("CapAmb"), "0000000000000000");
    // cap_net_admin (12) and cap_net_raw (13) at most, the same in both sets.
    const uint64_t permitted = std::stoull(status.at("CapPrm"), nullptr, 16);
    EXPECT_EQ(permitted & ~uint64_t(0x3000), 0u) << status.at("CapPrm");
    EXPECT_EQ(status.at("CapEff"), status.at("CapPrm"));
    if (::geteuid() == 0) {
        // Started by root it could empty its bounding set (root holds CAP_SETPCAP, as the
        // installed helper's file capabilities give it): nothing is left there.
        EXPECT_EQ(status.at("CapBnd"), "0000000000000000");
        // The helper is not dumpable: only root reads these.
        std::ifstream environ("/proc/" + std::to_string(helper.pid) + "/environ");
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(environ), {}), "");
        std::vector<std::string> descriptors;
        for (const auto& fd : std::filesystem::directory_iterator(
                 "/proc/" + std::to_string(helper.pid) + "/fd"))
            descriptors.push_back(fd.path().filename().string());
        std::sort(descriptors.begin(), descriptors.end());
        EXPECT_EQ(descriptors, (std::vector<std::string>{"0", "1", "2"}));
    }
    stopCaptureHelper(helper);
}

TEST(HelperProcess, RefusesWhatItDidNotListAndEndsWhenTheCallerCloses) {
    HelperProcess helper;
    std::string error;
    ASSERT_TRUE(startCaptureHelper(CORVEL_CAPTURE_HELPER, helper, error)) << error;
    const pid_t pid = helper.pid;
    EXPECT_EQ(exchange(helper.socket, Request{RequestType::List, 1}).status, ReplyStatus::Ok);
    Request open{RequestType::Open, 2};
    open.name = "lo";  // loopback is never listed
    EXPECT_EQ(exchange(helper.socket, open).status, ReplyStatus::Refused);
    Request send{RequestType::Send, 3};
    send.frame = frameOf(0x0800, 60);
    EXPECT_EQ(exchange(helper.socket, send).status, ReplyStatus::Refused);

    ::close(helper.socket);
    int waitStatus = 0;
    ASSERT_EQ(::waitpid(pid, &waitStatus, 0), pid);
    EXPECT_TRUE(WIFEXITED(waitStatus));
    EXPECT_EQ(WEXITSTATUS(waitStatus), 0);
}

TEST(HelperProcess, RunByHandItServesNothing) {
    const std::string line = std::string(CORVEL_CAPTURE_HELPER) + " </dev/null 2>/dev/null";
    const int status = std::system(line.c_str());
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

TEST(HelperProcess, AHelperThatCannotStartRefusesEveryOpenForWantOfPrivileges) {
    HelperBackend backend("/nonexistent/corvel-capture");
    std::vector<HostInterface> listed;
    std::string error;
    // Listing needs no privilege and still works.
    EXPECT_TRUE(backend.listInterfaces(listed, error)) << error;
    EXPECT_EQ(backend.openCapture("eth0", error), -1);
    EXPECT_TRUE(backend.permissionDenied());
    EXPECT_NE(error.find("cannot start the capture helper /nonexistent/corvel-capture"),
              std::string::npos)
        << error;
    EXPECT_FALSE(backend.running());
}

// A caller whose helper never answers: its request times out after 20 ms.
constexpr int kShortReplyTimeoutMs = 20;

bool listingTimesOut(HelperBackend& backend) {
    std::vector<HostInterface> listed;
    std::string error;
    return !backend.listInterfaces(listed, error) && error == "the capture helper did not answer";
}

TEST(HelperTimeout, AHungHelperIsKilledAndReaped) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair), 0);
    const pid_t hung = ::fork();
    ASSERT_GE(hung, 0);
    if (hung == 0) {  // holds its end open and never reads it
        ::close(pair[0]);
        for (;;) ::pause();
    }
    ::close(pair[1]);
    {
        HelperBackend backend(HelperProcess{hung, pair[0]}, kShortReplyTimeoutMs);
        EXPECT_TRUE(listingTimesOut(backend));
        EXPECT_FALSE(backend.running());
    }
    // Killed and already reaped by the backend: no such process any more.
    errno = 0;
    EXPECT_EQ(::kill(hung, 0), -1);
    EXPECT_EQ(errno, ESRCH);
    if (errno != ESRCH) {
        ::kill(hung, SIGKILL);
        ::waitpid(hung, nullptr, 0);
    }
}

// Runs `body` as process 1 of a new PID namespace beside a sentinel process, and returns its exit
// status, 77 when no namespace can be made, or 3 when the sentinel did not survive: whatever the
// body signals reaches nothing outside the namespace.
int inPidNamespaceBesideSentinel(const std::function<int()>& body) {
    const pid_t outer = ::fork();
    if (outer < 0) return 2;
    if (outer == 0) {
        if (::unshare(CLONE_NEWPID) != 0 && ::unshare(CLONE_NEWUSER | CLONE_NEWPID) != 0)
            ::_exit(77);
        const pid_t init = ::fork();
        if (init == 0) {
            const pid_t sentinel = ::fork();
            if (sentinel == 0) {
                for (;;) ::pause();
            }
            const int status = body();
            const bool alive = ::waitpid(sentinel, nullptr, WNOHANG) == 0;
            ::kill(sentinel, SIGKILL);
            ::waitpid(sentinel, nullptr, 0);
            ::_exit(alive ? status : 3);
        }
        int status = 0;
        ::waitpid(init, &status, 0);
        ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 2);
    }
    int status = 0;
    ::waitpid(outer, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}

// A helper served from a thread has no process (pid -1). Signalling it on a time-out would be
// kill(-1, SIGKILL): every process the caller may signal, the whole machine for root.
TEST(HelperTimeout, AHelperWithoutAProcessIsNeverSignalled) {
    const int status = inPidNamespaceBesideSentinel([] {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return 2;
        HelperBackend backend(HelperProcess{-1, pair[0]}, kShortReplyTimeoutMs);
        return listingTimesOut(backend) ? 0 : 1;
    });
    if (status == 77) GTEST_SKIP() << "no PID namespace can be made here";
    EXPECT_NE(status, 3) << "the time-out signalled other processes";
    EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace corvel::capture
