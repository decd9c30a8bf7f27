// The telemetry system as Run drives it: started once before the main loop,
// told the user's packed locale, and stopped (waiting for its thread) on the
// way out. The rules file, the event queue and the sender arrive with the
// telemetry component; until then start and stop only track the state.
#pragma once

#include <cstdint>

namespace velmora {

void StartTelemetry();
// Whether StartTelemetry created the telemetry system (and Stop has not ended it).
bool TelemetryExists();
void SetTelemetryLocale(std::uint32_t packed_locale);
std::uint32_t TelemetryLocale();
void StopTelemetry();

}  // namespace velmora
