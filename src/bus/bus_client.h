#pragma once
// Calls a method of the running (or activated) service on the session bus.

#include <vector>

#include "automation/method_table.h"

namespace kbx::bus {

// Sends the call with the arguments converted to the method's types and
// waits without a time limit (a call may wait for the user). An error reply
// of the service raises its run-time error; a failure of the bus itself
// raises 429 with the bus's message.
automation::CallOutcome callOverBus(const automation::MethodSpec& method, const std::vector<Variant>& args);

}  // namespace kbx::bus
