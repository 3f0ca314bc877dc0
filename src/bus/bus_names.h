#pragma once
// Where the class lives on the session bus.

namespace kbx::bus {

inline constexpr const char* kServiceName = "KestBomEx.KestDBBomExcel";
inline constexpr const char* kObjectPath = "/KestDBBomExcel";
inline constexpr const char* kInterfaceName = "KestBomEx._KestDBBomExcel";
// A run-time error n is the D-Bus error "<prefix>E<n>" (E_<n> when negative)
// with the message "<n>: <text>".
inline constexpr const char* kRuntimeErrorPrefix = "KestBomEx.RuntimeError.";

}  // namespace kbx::bus
