// The library's plain exported functions: the five the host calls to create
// the plugin object, and the eight getters for display code in the host's
// process. A strict C boundary: unmangled names, cdecl, nothing thrown.
#pragma once

#include <cstdint>

#include "host/plugin_interface.h"
#include "publish/host_state.h"
#include "scoring/scoring_info.h"
#include "telemetry/telemetry_info.h"
#include "timing/sector_records.h"
#include "timing/time_table.h"

// KORVANEL_EXPORT comes from the build: dllexport or default visibility.
#ifndef KORVANEL_EXPORT
#define KORVANEL_EXPORT
#endif

extern "C" {

KORVANEL_EXPORT const char* GetPluginName();
KORVANEL_EXPORT int32_t GetPluginType();
KORVANEL_EXPORT int32_t GetPluginVersion();
KORVANEL_EXPORT korvanel::PluginObject* CreatePluginObject();
KORVANEL_EXPORT void DestroyPluginObject(korvanel::PluginObject* object);

KORVANEL_EXPORT korvanel::TelemetryInfoV2* GetTelemetryInfoV2();
KORVANEL_EXPORT korvanel::ScoringInfoV2* GetScoringInfoV2();
KORVANEL_EXPORT korvanel::HostState* GetQuorvexState();
KORVANEL_EXPORT korvanel::TimeTable* GetTimeTable();
KORVANEL_EXPORT korvanel::AbsoluteSectorTimes* GetABSOLUTESectorTimes();
KORVANEL_EXPORT void* GetCriticalSection();
KORVANEL_EXPORT uint8_t TrackLoaded(uint32_t loaded);
KORVANEL_EXPORT float GetTime();

}  // extern "C"
