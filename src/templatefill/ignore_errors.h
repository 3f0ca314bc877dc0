#pragma once
// Runs one step with errors ignored: a failure inside it is discarded and the
// step simply ends there.

#include <exception>

namespace kbx::templatefill {

template <typename Step>
void WithErrorsIgnored(Step step) {
    try {
        step();
    } catch (const std::exception&) {
        // Discarded on purpose: the caller tests the outcome afterwards.
    }
}

}  // namespace kbx::templatefill
