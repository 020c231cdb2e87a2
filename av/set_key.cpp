// SPDX-License-Identifier: MIT
#include "av/set_key.h"

#include <cstring>

#include "avcodec/codec.h"
#include "avcodec/frame.h"
#include "core/tables.h"

namespace corvel {

namespace {

Mac stationTableLocalMac() {
    Mac mac{};
    std::memcpy(mac.data(), currentStationTable().localMac, mac.size());
    return mac;
}

}  // namespace

int sendLocalSetKey(const NetworkKey& nmk) {
    const Mac source = requestSourceMac();
    const Mac destination = stationTableLocalMac();
    if (!macIsSet(source.data())) return kSetKeyFailed;

    AvKeyRequest request{};
    request.nmk = nmk;
    request.peks = kPeksLocal;
    request.rda = destination;
    // The local device takes its own key without a DAK.
    request.dak = {};
    AvRequestBuffer frame{};
    const int length = plcapi_EncodeSetKeyRequest(source.data(), destination.data(),
                                                  kAvRequestCapacity, frame.data(), &request);
    if (length > 0) {
        sendAvFrame(frame, length);
    } else {
        reportEncodeFailure();
    }
    AvConfirm confirm;
    // A stray module-commit confirmation says nothing about the key.
    return awaitAvConfirm(kMmSetKeyRequest, destination, confirm, nullptr, AvAnswer::ownConfirm)
               ? kSetKeyAvConfirmed
               : kSetKeyFailed;
}

int buildRemoteSetKey(AvRequestBuffer& out, const Mac& source, const Mac& rda,
                      const NetworkKey& nmk, const NetworkKey& dak) {
    AvKeyRequest request{};
    request.nmk = nmk;
    request.peks = kPeksRemote;
    request.rda = rda;
    request.dak = dak;
    const Mac destination = stationTableLocalMac();
    return plcapi_EncodeSetKeyRequest(source.data(), destination.data(), kAvRequestCapacity,
                                      out.data(), &request);
}

}  // namespace corvel
