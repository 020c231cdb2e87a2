// SPDX-License-Identifier: MIT
#include "avcodec/transfer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "avcodec/image_checksum.h"
#include "avcodec/nvm_chain.h"
#include "platform/bytes.h"
#include "platform/process_state.h"

namespace corvel {

namespace {

AvOperation operation;

constexpr uint32_t kPibLengthOffset = 4;

// Offsets inside the fixed payload fields that PendingFrame.header holds (frame byte 20 on).
constexpr size_t headerIndex(size_t frameOffset) {
    return frameOffset - kAvHeaderLength;
}

bool usesModulePath(uint32_t flags) {
    return (flags & kWriteModulePath) != 0 ||
           (flags & kWriteModuleCombination) == kWriteModuleCombination;
}

int abandon() {
    const int saved = errno;
    resetAvOperation();
    errno = saved;
    return -1;
}

void startPending(PendingFrame& pending, uint16_t mmtype, uint32_t headerLength) {
    pending.ready = 1;
    pending.mmtype = mmtype;
    pending.headerLength = headerLength;
    pending.header = {};
    pending.dataLength = 0;
    pending.data = nullptr;
}

// Prepares the chunk the current cursor stands on. Returns false (errno 34) when the cursor
// has run past the end of its image.
bool prepareWriteChunk(AvOperation& op) {
    const uint8_t* data = nullptr;
    const uint32_t length = cursorSeek(op.current, op.current->index, &data);
    if (length == 0) return false;
    PendingFrame& p = op.pending;
    if (usesModulePath(op.flags)) {
        startPending(p, kMmModuleWriteRequest, 12);
        p.header[headerIndex(kModuleWriteModuleOffset)] = op.writeModule;
        put16le(&p.header[headerIndex(kModuleWriteLengthOffset)], uint16_t(length));
        put32le(&p.header[headerIndex(kModuleWritePositionOffset)], cursorOffset(op.current));
        put32le(&p.header[headerIndex(kModuleWriteChecksumOffset)],
                imageChecksum(data, length / 4, 0));
    } else {
        startPending(p, kMmMemoryWriteRequest, 8);
        put32le(&p.header[headerIndex(kMemoryWriteAddressOffset)],
                op.writeBase + cursorOffset(op.current));
        put32le(&p.header[headerIndex(kMemoryWriteLengthOffset)], length);
    }
    p.data = data;
    p.dataLength = length;
    return true;
}

void prepareReadRequest(AvOperation& op) {
    PendingFrame& p = op.pending;
    startPending(p, kMmModuleReadRequest, 8);
    p.header[headerIndex(kModuleReadModuleOffset)] = op.readModule;
    put16le(&p.header[headerIndex(kModuleReadLengthOffset)], uint16_t(op.readLength));
    put32le(&p.header[headerIndex(kModuleReadPositionOffset)], op.readOffset);
}

// Addresses of the next request: back to the device that sent the confirmation.
void answerTo(PendingFrame& pending, const AvConfirm& record) {
    pending = PendingFrame{};
    pending.destMac = record.srcMac;
    pending.srcMac = record.destMac;
}

void copyStartWords(AvOperation& op, const uint8_t* header, size_t available) {
    op.startWords = {};
    if (available > kHeaderLoadAddress) {
        const size_t count = std::min(op.startWords.size(), available - kHeaderLoadAddress);
        std::memcpy(op.startWords.data(), header + kHeaderLoadAddress, count);
    }
}

void prepareFinish(AvOperation& op) {
    PendingFrame& p = op.pending;
    if (op.flags & kWriteCommit) {
        startPending(p, kMmModuleCommitRequest, 1);
        p.header[headerIndex(kCommitModulesOffset)] =
            uint8_t(op.moduleMask | (op.flags & kWriteCommitFlag));
    } else {
        startPending(p, kMmStartRequest, 20);
        p.header[headerIndex(kStartFlagOffset)] = kStartFlag;
        std::copy(op.startWords.begin(), op.startWords.end(),
                  p.header.begin() + headerIndex(kStartWordsOffset));
    }
    op.current = nullptr;
    if (op.pibCursor) cursorClose(op.pibCursor);
    if (op.firmwareCursor) cursorClose(op.firmwareCursor);
}

bool writeRunning(const AvOperation& op) {
    return op.kind == kTransferWrite && op.current != nullptr;
}

bool readRunning(const AvOperation& op) {
    return op.kind == kTransferRead && (op.flags & (kFlagFirstStage | kFlagSecondStage)) != 0;
}

int refuseStray(AvConfirm& record) {
    record.error = kAvErrInvalidValue;
    errno = kAvErrInvalidValue;
    return -1;
}

int endRead(AvConfirm& record, int error) {
    AvOperation& op = operation;
    op.flags &= ~(kFlagFirstStage | kFlagSecondStage);
    op.pending.ready = 0;
    record.state = kConfirmComplete;
    record.valid = 0;
    record.error = uint8_t(error);
    errno = error;
    return -1;
}

}  // namespace

AvOperation& avOperation() {
    return operation;
}

void resetAvOperation() {
    operation = AvOperation{};
}

namespace {
const RegisteredReset avOperationReset{resetAvOperation};
}  // namespace

int plcapi_BeginModuleWrite(const uint8_t* source, const uint8_t* destination,
                            uint32_t firmwareLength, const uint8_t* firmware, uint32_t pibLength,
                            const uint8_t* pib, uint32_t options) {
    resetAvOperation();
    if (pib == nullptr || source == nullptr || destination == nullptr) {
        errno = kAvErrMissingOrShort;
        return -1;
    }
    AvOperation& op = operation;
    op.flags = (options & kWriteOptionMask) | kFlagFirstStage;
    op.kind = kTransferWrite;
    std::copy_n(destination, 6, op.pending.destMac.begin());
    std::copy_n(source, 6, op.pending.srcMac.begin());

    op.pibCursor = cursorOpen(pib, pibLength, kChunkSize);
    if (!op.pibCursor) return abandon();
    op.moduleMask = 0x02;

    if (usesModulePath(op.flags)) {
        if (firmware != nullptr) {
            op.firmwareCursor = cursorOpen(firmware, firmwareLength, kChunkSize);
            if (!op.firmwareCursor) return abandon();
            op.flags |= kFlagSecondStage;
            op.moduleMask |= 0x01;
            op.current = op.firmwareCursor.get();
            op.writeModule = kModuleFirmware;
            copyStartWords(op, firmware, firmwareLength);
        } else {
            op.current = op.pibCursor.get();
            op.writeModule = kModulePib;
        }
    } else {
        if (firmware == nullptr) {
            errno = kAvErrMissingOrShort;
            return abandon();
        }
        // The memory path loads only the last image of the chain, at its own address.
        const uint8_t* header = findLastImageHeader(firmware, firmwareLength);
        if (header == nullptr) return abandon();
        const size_t after = size_t(header - firmware) + kImageHeaderSize;
        const uint32_t imageLength = get32le(header + kHeaderImageLength);
        if (imageLength > firmwareLength - after) {
            errno = kAvErrMissingOrShort;
            return abandon();
        }
        op.firmwareCursor = cursorOpen(firmware + after, imageLength, kChunkSize);
        if (!op.firmwareCursor) return abandon();
        op.flags |= kFlagSecondStage;
        op.moduleMask |= 0x01;
        op.current = op.firmwareCursor.get();
        op.writeBase = get32le(header + kHeaderLoadAddress);
        copyStartWords(op, header, kImageHeaderSize);
    }
    if (!prepareWriteChunk(op)) return abandon();
    return 0;
}

int plcapi_BeginModuleRead(const uint8_t* source, const uint8_t* destination, int32_t readType) {
    resetAvOperation();
    if (source == nullptr || destination == nullptr) {
        errno = kAvErrMissingOrShort;
        return -1;
    }
    AvOperation& op = operation;
    switch (readType) {
        case kReadFirmware:
            op.flags = kFlagSecondStage;
            op.readModule = kModuleFirmware;
            op.readLength = kImageHeaderSize;
            break;
        case kReadPib:
            op.flags = kFlagFirstStage;
            op.readModule = kModulePib;
            op.readLength = kChunkSize;
            break;
        case kReadBoth:
            op.flags = kFlagFirstStage | kFlagSecondStage;
            op.readModule = kModuleFirmware;
            op.readLength = kImageHeaderSize;
            break;
        default:
            errno = kAvErrInvalidValue;
            return -1;
    }
    op.flags |= kWriteCommit;
    op.kind = kTransferRead;
    op.readType = readType;
    std::copy_n(destination, 6, op.pending.destMac.begin());
    std::copy_n(source, 6, op.pending.srcMac.begin());
    prepareReadRequest(op);
    return 0;
}

int plcapi_BuildPendingFrame(size_t capacity, uint8_t* buffer) {
    if (buffer == nullptr) {
        errno = kAvErrMissingOrShort;
        return 0;
    }
    PendingFrame& p = operation.pending;
    if (!p.ready) return 0;
    const size_t headerLength = std::min<size_t>(p.headerLength, p.header.size());
    const size_t length = kAvHeaderLength + headerLength + p.dataLength;
    const size_t frameLength = std::max(length, kAvMinFrameLength);
    // Checked before anything is consumed, so that a short buffer loses no frame.
    if (capacity < frameLength) {
        errno = kAvErrBufferTooSmall;
        return 0;
    }
    p.ready = 0;
    writeAvHeader(buffer, capacity, p.destMac.data(), p.srcMac.data(), p.mmtype);
    std::memcpy(buffer + kAvHeaderLength, p.header.data(), headerLength);
    if (p.dataLength != 0) {
        std::memcpy(buffer + kAvHeaderLength + headerLength, p.data, p.dataLength);
    }
    std::memset(buffer + length, 0, frameLength - length);
    return int(frameLength);
}

int decodeWriteConfirm(const uint8_t* frame, size_t length, AvConfirm& record) {
    AvOperation& op = operation;
    record.kind = op.kind;
    record.state = kConfirmComplete;
    if (length < kWriteConfirmLength) {
        errno = kAvErrBufferTooSmall;
        record.error = kAvErrBufferTooSmall;
        return -1;
    }
    // A confirmation with no chunk outstanding (a duplicate after the last chunk, or one from
    // nowhere) is not an answer: it must neither disturb what is prepared nor read as a success.
    if (!writeRunning(op)) return refuseStray(record);
    const uint8_t status = frame[kWriteConfirmStatusOffset];
    record.error = status;

    if (status != 0) {
        // The count stops at 0, so that a refused last retry cannot turn into 255 more.
        const bool mayRetry = op.retriesLeft != 0;
        if (mayRetry) {
            --op.retriesLeft;
            prepareWriteChunk(op);
            record.state = kConfirmGoesOn;
            return 0;
        }
        errno = kAvErrInvalidValue;
        return -1;
    }

    record.state = kConfirmGoesOn;
    record.valid = 0;
    op.retriesLeft = kTransferRetries;

    const bool memoryPath = get16le(frame + kOffsetMmtype) == kMmMemoryWriteConfirm;
    const uint32_t confirmed = memoryPath ? get32le(frame + kMemoryWriteConfirmLengthOffset)
                                          : get16le(frame + kModuleWriteConfirmLengthOffset);
    if (!cursorReachesEnd(op.current, confirmed)) {
        if (cursorNext(op.current, nullptr) == 0 || !prepareWriteChunk(op)) {
            // The device confirmed less than the last chunk held: nothing is left to send.
            op.pending.ready = 0;
            record.state = kConfirmComplete;
            record.error = kAvErrBufferTooSmall;
            return -1;
        }
        return 0;
    }

    answerTo(op.pending, record);
    if (op.flags & kFlagSecondStage) {
        op.flags &= ~kFlagSecondStage;
        op.current = op.pibCursor.get();
        op.writeModule = kModulePib;
        op.writeBase = kPibLoadAddress;
        cursorSeek(op.current, 0, nullptr);
        prepareWriteChunk(op);
        return 0;
    }
    op.flags &= ~kFlagFirstStage;
    prepareFinish(op);
    return 0;
}

int decodeReadConfirm(const uint8_t* frame, size_t length, AvConfirm& record) {
    AvOperation& op = operation;
    record.kind = op.kind;
    record.state = kConfirmComplete;
    if (length < kReadConfirmLength) {
        errno = kAvErrMissingOrShort;
        record.error = kAvErrMissingOrShort;
        return -1;
    }
    // No read is waiting for a chunk (it has ended, or never began): not an answer.
    if (!readRunning(op)) return refuseStray(record);
    const uint8_t status = frame[kReadConfirmStatusOffset];
    const uint8_t module = frame[kReadConfirmModuleOffset];
    record.valid = 0;
    record.error = status;
    put32le(record.payload.data() + kReadRecordModuleIndex, module);

    bool good = status == 0;
    bool last = false;
    if (good) {
        const uint32_t chunkLength = get16le(frame + kReadConfirmLengthOffset);
        const uint32_t offset = get32le(frame + kReadConfirmPositionOffset);
        const uint8_t* chunk = frame + kReadConfirmDataOffset;
        // A length the frame does not hold is a damaged chunk like a bad checksum: it is asked
        // again rather than handed on short.
        if (chunkLength > kChunkSize || chunkLength > length - kReadConfirmDataOffset) {
            errno = kAvErrBufferTooSmall;
            record.error = kAvErrBufferTooSmall;
            good = false;
        } else if (imageChecksum(chunk, chunkLength / 4,
                                 get32le(frame + kReadConfirmChecksumOffset)) != 0) {
            errno = kAvErrInvalidValue;
            record.error = kAvErrInvalidValue;
            good = false;
        } else {
            put32le(record.payload.data() + kReadRecordLengthIndex, chunkLength);
            std::memcpy(record.payload.data() + kReadRecordChunkIndex, chunk, chunkLength);
            record.valid = 1;
            record.payloadLength = int32_t(chunkLength + kReadRecordChunkIndex);

            if (module == kModulePib && offset == 0) {
                if (chunkLength < kPibLengthOffset + 2) {
                    return endRead(record, kAvErrMissingOrShort);
                }
                op.readTotal = get16le(chunk + kPibLengthOffset);
                op.readNextHeader = 0;
            } else if (module == kModuleFirmware && offset == op.readNextHeader) {
                if (chunkLength < kImageHeaderSize || !imageHeaderValid(chunk)) {
                    return endRead(record, kAvErrMissingOrShort);
                }
                const uint32_t next = get32le(chunk + kHeaderNextOffset);
                const uint64_t end =
                    uint64_t(offset) + kImageHeaderSize + get32le(chunk + kHeaderImageLength);
                // The next header must lie past this one, or the chain could never be followed
                // to its end.
                if ((next != 0 && next < uint64_t(offset) + kImageHeaderSize) || end > UINT32_MAX) {
                    return endRead(record, kAvErrMissingOrShort);
                }
                // For headers that follow each other this is the running sum of header and image
                // lengths; it also stays right when the file leaves a gap before a header.
                op.readTotal = uint32_t(end);
                op.readNextHeader = next;
            }
            last = op.readNextHeader == 0 && uint64_t(offset) + chunkLength >= op.readTotal;
            record.payload[kReadRecordLastChunkIndex] = last ? 1 : 0;
        }
    }
    if (!good) {
        if (op.retriesLeft != 0) {
            --op.retriesLeft;
            prepareReadRequest(op);
            record.state = kConfirmGoesOn;
        } else {
            op.flags &= ~(kFlagFirstStage | kFlagSecondStage);
        }
        return 0;
    }

    record.state = kConfirmGoesOn;
    op.retriesLeft = kTransferRetries;
    if (!last) {
        const uint64_t offset = uint64_t(op.readOffset) + op.readLength;
        const bool headerExpected = (op.flags & kFlagSecondStage) && op.readNextHeader != 0;
        uint32_t requestLength;
        if (headerExpected && offset == op.readNextHeader) {
            requestLength = kImageHeaderSize;
        } else {
            const uint64_t limit =
                headerExpected && op.readNextHeader > offset ? op.readNextHeader : op.readTotal;
            requestLength =
                uint32_t(std::min<uint64_t>(kChunkSize, limit > offset ? limit - offset : 0));
        }
        if (requestLength == 0) {
            // Nothing is left to ask for: either the module is read whole, or the header still
            // expected lies behind the requests (the device answered other offsets than asked).
            if (op.readNextHeader != 0) return endRead(record, kAvErrMissingOrShort);
            record.payload[kReadRecordLastChunkIndex] = 1;
        } else {
            op.readOffset = uint32_t(offset);
            op.readLength = requestLength;
            prepareReadRequest(op);
            return 0;
        }
    }

    answerTo(op.pending, record);
    switch (op.readType) {
        case kReadFirmware:
        case kReadPib:
            op.flags &= ~(kFlagFirstStage | kFlagSecondStage);
            record.state = kConfirmComplete;
            return 0;
        case kReadBoth:
            if (op.flags & kFlagSecondStage) {
                op.flags &= ~kFlagSecondStage;
                op.readModule = kModulePib;
                op.readOffset = 0;
                op.readLength = kChunkSize;
                prepareReadRequest(op);
                return 0;
            }
            op.flags &= ~(kFlagFirstStage | kFlagSecondStage);
            record.state = kConfirmComplete;
            return 0;
        default:
            op.flags &= ~(kFlagFirstStage | kFlagSecondStage);
            record.state = kConfirmComplete;
            record.error = kAvErrInvalidValue;
            errno = kAvErrInvalidValue;
            return -1;
    }
}

bool isConfirmationOf(std::span<const uint8_t> reply, const uint8_t* request) {
    if (reply.size() < kAvHeaderLength || get16be(&reply[kOffsetEthertype]) != kAvEthertype)
        return false;
    const uint16_t sent = get16le(request + kOffsetMmtype);
    if (get16le(&reply[kOffsetMmtype]) != (sent | 1)) return false;
    switch (sent) {
        case kMmModuleWriteRequest:
            return reply.size() >= kWriteConfirmLength &&
                   reply[kModuleWriteConfirmModuleOffset] == request[kModuleWriteModuleOffset] &&
                   get32le(&reply[kModuleWriteConfirmPositionOffset]) ==
                       get32le(request + kModuleWritePositionOffset);
        case kMmMemoryWriteRequest:
            return reply.size() >= kWriteConfirmLength &&
                   get32le(&reply[kMemoryWriteConfirmAddressOffset]) ==
                       get32le(request + kMemoryWriteAddressOffset);
        default:
            return true;
    }
}

void queueHostActionResponse(const uint8_t* indication, uint8_t result) {
    PendingFrame& p = operation.pending;
    p = PendingFrame{};
    std::copy_n(indication + 6, 6, p.destMac.begin());
    std::copy_n(indication, 6, p.srcMac.begin());
    startPending(p, kMmHostActionResponse, 1);
    p.header[headerIndex(kHostActionResultOffset)] = result;
}

}  // namespace corvel
