// SPDX-License-Identifier: MIT
#include "keys/random_key.h"

#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <set>
#include <system_error>
#include <vector>

#include "keys/derive.h"

namespace corvel {
namespace {

using Key16 = std::array<uint8_t, 16>;

struct FamilyCase {
    KeyFamily family;
    size_t length;
    const uint8_t* publicKey;
};

std::vector<FamilyCase> families() {
    return {{KeyFamily::Av, 16, publicAvKey().data()},
            {KeyFamily::HomePlug10, 16, publicHp10Key().data()},
            {KeyFamily::Turbo, 8, publicHp10Key().data()}};
}

// Hands out the scripted draws in turn and records the length each draw asked for.
class ScriptedSource : public ::testing::Test {
protected:
    void script(std::vector<Key16> draws) {
        draws_ = std::move(draws);
        asked_.clear();
        installRandomBytesSource([this](uint8_t* out, size_t length) {
            ASSERT_LT(asked_.size(), draws_.size());
            std::memcpy(out, draws_[asked_.size()].data(), length);
            asked_.push_back(length);
        });
    }
    void TearDown() override { installRandomBytesSource(nullptr); }

    std::vector<Key16> draws_;
    std::vector<size_t> asked_;
};

Key16 pattern(uint8_t first) {
    Key16 key;
    for (size_t i = 0; i < key.size(); ++i) key[i] = uint8_t(first + 17 * i);
    return key;
}

TEST_F(ScriptedSource, TheKeyIsTheSourcesBytesDrawnAgainWhileItStartsAsThePublicKey) {
    for (const FamilyCase& c : families()) {
        Key16 asPublic = pattern(0x40);
        std::memcpy(asPublic.data(), c.publicKey, 8);
        Key16 nearlyPublic = asPublic;
        nearlyPublic[7] ^= 0x01;  // only the first 8 bytes count
        script({asPublic, asPublic, nearlyPublic});
        Key16 key;
        key.fill(0xEE);  // a Turbo key keeps no stale bytes behind its 8
        makeRandomKey(c.family, key.data());

        EXPECT_EQ(asked_, std::vector<size_t>(3, c.length));
        Key16 expected{};
        std::memcpy(expected.data(), nearlyPublic.data(), c.length);
        EXPECT_EQ(key, expected);
    }
}

TEST(RandomKey, TheSourceIsTheKernelsUnlessATestInstalledAnother) {
    auto* kernel = randomBytesSource().target<void (*)(uint8_t*, size_t)>();
    ASSERT_NE(kernel, nullptr);
    EXPECT_EQ(*kernel, &kernelRandomBytes);
    installRandomBytesSource([](uint8_t* out, size_t length) { std::memset(out, 1, length); });
    installRandomBytesSource(nullptr);
    kernel = randomBytesSource().target<void (*)(uint8_t*, size_t)>();
    ASSERT_NE(kernel, nullptr);
    EXPECT_EQ(*kernel, &kernelRandomBytes);
}

// Keys made one after the other, within the same second, by as many runs of the program as
// there are keys: each is new.
TEST(RandomKey, KeysMadeInTheSameSecondDiffer) {
    for (const FamilyCase& c : families()) {
        std::set<Key16> made;
        for (int i = 0; i < 64; ++i) {
            Key16 key{};
            makeRandomKey(c.family, key.data());
            EXPECT_NE(std::memcmp(key.data(), c.publicKey, 8), 0);
            made.insert(key);
        }
        EXPECT_EQ(made.size(), 64u);
    }
}

// With getrandom(2) forbidden to the process (a seccomp filter answering ENOSYS), making a key
// fails instead of falling back on anything guessable: its bytes come from that system call.
TEST(RandomKey, TheBytesComeFromGetrandomAndNothingElse) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_getrandom, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (ENOSYS & SECCOMP_RET_DATA)),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        sock_fprog program{uint16_t(std::size(filter)), filter};
        if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
            ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
            ::_exit(2);
        Key16 key{};
        try {
            makeRandomKey(KeyFamily::Av, key.data());
        } catch (const std::system_error& error) {
            ::_exit(error.code().value() == ENOSYS ? 0 : 3);
        }
        ::_exit(1);  // a key was made without the kernel's source
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace corvel
