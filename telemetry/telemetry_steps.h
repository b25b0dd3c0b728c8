// The computing steps of the telemetry update: lap-time estimate, distance
// of one step, KERS countdown and dead reckoning of the other cars.
#pragma once

#include <cstdint>

#include "host/host_records.h"
#include "scoring/scoring_info.h"

namespace korvanel {

// Cars whose positions dead reckoning moves.
constexpr int kDeadReckonedVehicles = 100;

// Seconds since the player's lap began, estimated from the latest scoring
// clock plus the milliseconds since that update; -1.0 before the green flag
// phase or without a clock or a lap start.
float estimateLapTime(const ScoringInfoV2& scoring, const HostTelemetry& telemetry,
                      uint32_t elapsedMs);

// Speed times `deltaTime`. A step that is not a finite number of at least 0
// (a bad delta or velocity) gives 0, so no total can be poisoned by it.
double stepDistance(const HostTelemetry& telemetry);

// The part of `deltaTime` that the clocks of the state record may follow:
// the delta itself when it is a finite number of at least 0, else 0, so that
// a NaN or backward step neither sticks in nor winds back a running clock.
double usableDeltaTime(double deltaTime);

// The KERS countdown of `remaining` seconds, run only while the display's
// `timerOn` byte is exactly 1: counts down by `deltaTime` while `running`,
// never below 0 (a NaN left by an outside writer also becomes 0; a step that
// is NaN or negative counts as none), and reloads `kersTime` on a lap change
// or while the player's car is in the pits (a `playerIndex` outside the
// block's entries has none).
void runKersTimer(float& remaining, uint8_t timerOn, uint8_t running, double deltaTime,
                  bool lapChanged, const ScoringInfoV2& scoring, float kersTime);

// Moves the first 100 entries (no more than `vehicleCount`) forward by
// `elapsedMs` with the constant-acceleration formula in the horizontal
// plane, rounding to float at fixed points so that every build publishes the
// same numbers; the player's entry takes the telemetry position exactly.
// Bad numbers spoil only their own entry. With `copy`, the whole of `scoring`
// as moved is copied there too, run by run while each is still in cache.
void deadReckon(ScoringInfoV2& scoring, const HostTelemetry& telemetry, uint32_t elapsedMs,
                ScoringInfoV2* copy = nullptr);

}  // namespace korvanel
