#include "telemetry/telemetry.h"

#include <atomic>

namespace velmora {
namespace {
std::atomic<bool> g_exists{false};
std::atomic<std::uint32_t> g_locale{0};
}  // namespace

void StartTelemetry() { g_exists = true; }
bool TelemetryExists() { return g_exists; }
void SetTelemetryLocale(std::uint32_t packed_locale) { g_locale = packed_locale; }
std::uint32_t TelemetryLocale() { return g_locale; }
void StopTelemetry() { g_exists = false; }

}  // namespace velmora
