#include "session/cancellation.h"

#include <atomic>

#include "value/runtime_error.h"

namespace kbx::session {

namespace {

std::atomic<bool> cancelFlag{false};

}  // namespace

void requestCancel() { cancelFlag.store(true, std::memory_order_relaxed); }

void clearCancel() { cancelFlag.store(false, std::memory_order_relaxed); }

bool cancelRequested() { return cancelFlag.load(std::memory_order_relaxed); }

void throwIfCancelled() {
    if (cancelRequested()) raise(kInterruptedError, kInterruptedText);
}

}  // namespace kbx::session
