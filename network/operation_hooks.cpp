// SPDX-License-Identifier: MIT
#include "network/operation_hooks.h"

#include <algorithm>
#include <array>

#include "platform/process_state.h"

namespace corvel {

namespace {

constexpr std::array<std::string_view, 4> kPasswordTexts = {
    "Please be patient, this may take some time.", "Working...", "Proceeding..", "Completing..."};
constexpr std::array<std::string_view, 5> kAddTexts = {
    "Please wait, this operation will take approximately 30 seconds to complete..",
    "Devices will reboot while this operation...", "Trying to add device to the Network...",
    "Proceeding...", "Completing..."};

struct ProgressState {
    size_t passwordStep = 0;
    size_t addStep = 0;
};

ProgressState& progress() {
    static ProgressState state;
    return state;
}

template <size_t N>
std::string_view advance(size_t& index, const std::array<std::string_view, N>& texts, int step) {
    index = step == 0 ? 0 : std::min(index + 1, N - 1);
    return texts[index];
}

}  // namespace

OperationHooks& operationHooks() {
    static OperationHooks hooks;
    return hooks;
}

void resetOperationHooks() {
    operationHooks() = OperationHooks{};
    progress() = ProgressState{};
}

namespace {
const RegisteredReset operationHooksReset{resetOperationHooks};
}  // namespace

WaitCursor::WaitCursor() {
    if (operationHooks().cursor) operationHooks().cursor(true);
}

WaitCursor::~WaitCursor() {
    if (operationHooks().cursor) operationHooks().cursor(false);
}

void passwordProgress(int step) {
    const std::string_view text = advance(progress().passwordStep, kPasswordTexts, step);
    if (operationHooks().passwordProgressTarget) operationHooks().passwordProgressTarget(text);
}

void addProgress(int step) {
    const std::string_view text = advance(progress().addStep, kAddTexts, step);
    if (operationHooks().addProgressTarget) operationHooks().addProgressTarget(text);
}

std::string_view passwordProgressText() {
    return kPasswordTexts[progress().passwordStep];
}

std::string_view addProgressText() {
    return kAddTexts[progress().addStep];
}

}  // namespace corvel
