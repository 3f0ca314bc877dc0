#pragma once
// Calls a method of the running (or activated) service on the session bus.

#include <vector>

#include "bus/method_table.h"

namespace kbx::bus {

// Sends the call with the arguments converted to the method's types and
// waits without a time limit (a call may wait for the user). An error reply
// of the service raises its run-time error; a failure of the bus itself
// raises 429 with the bus's message.
CallOutcome callOverBus(const MethodSpec& method, const std::vector<Variant>& args);

}  // namespace kbx::bus
