// SPDX-License-Identifier: MIT
#include "keys/random_key.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "keys/derive.h"

namespace corvel {

namespace {

RandomBytesSource& installedSource() {
    static RandomBytesSource source = kernelRandomBytes;
    return source;
}

}  // namespace

void kernelRandomBytes(uint8_t* out, size_t length) {
    size_t filled = 0;
    while (filled < length) {
        const ssize_t n = ::getrandom(out + filled, length - filled, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            throw std::system_error(n < 0 ? errno : EIO, std::generic_category(),
                                    "the kernel's random source (getrandom)");
        filled += size_t(n);
    }
}

const RandomBytesSource& randomBytesSource() {
    return installedSource();
}

void installRandomBytesSource(RandomBytesSource source) {
    installedSource() = source ? std::move(source) : RandomBytesSource(kernelRandomBytes);
}

void makeRandomKey(KeyFamily family, uint8_t out[16]) {
    const uint8_t* publicKey =
        family == KeyFamily::Av ? publicAvKey().data() : publicHp10Key().data();
    const size_t length = family == KeyFamily::Turbo ? 8 : 16;
    std::memset(out, 0, 16);
    do {
        randomBytesSource()(out, length);
    } while (std::memcmp(out, publicKey, 8) == 0);
}

}  // namespace corvel
