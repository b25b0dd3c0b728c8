/* A library with four of the plugin's five exports, to see the host name
 * the missing one. */
#include <stdint.h>

#ifdef _WIN32
#define PARTIAL_EXPORT __declspec(dllexport)
#else
#define PARTIAL_EXPORT __attribute__((visibility("default")))
#endif

PARTIAL_EXPORT const char* GetPluginName(void) { return "partial"; }
PARTIAL_EXPORT int32_t GetPluginType(void) { return 3; }
PARTIAL_EXPORT int32_t GetPluginVersion(void) { return 1; }
PARTIAL_EXPORT void* CreatePluginObject(void) { return 0; }
