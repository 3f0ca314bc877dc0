#pragma once
// A process-wide request to stop the running method. The bus service sets it
// when the host of the running call has left; the fill engines check it in
// their long loops and end the call with a run-time error instead of working
// on for nobody. Calls run one at a time, so one flag serves the process.

#include <cstdint>

namespace kbx::session {

// Run-time error 18, the number a host sees for an interrupted call.
inline constexpr int32_t kInterruptedError = 18;
inline constexpr const char* kInterruptedText = "User interrupt occurred";

// Asks the running method to stop; safe from any thread.
void requestCancel();
// Forgets a request; done before each call starts.
void clearCancel();
bool cancelRequested();

// Raises run-time error 18 when a stop was requested.
void throwIfCancelled();

}  // namespace kbx::session
