// The five exports through which the host creates and destroys the plugin.
#include "plugin/exports.h"

#include "plugin/host_boundary.h"
#include "plugin/render_plugin.h"

extern "C" {

const char* GetPluginName() { return "Korvanel - Mendrali"; }

int32_t GetPluginType() { return 3; }

int32_t GetPluginVersion() { return 1; }

korvanel::PluginObject* CreatePluginObject() {
  korvanel::RenderPlugin* plugin = nullptr;
  korvanel::runGuarded("plugin creation", [&] { plugin = new korvanel::RenderPlugin; });
  // An ordinary base conversion: the handle lies past the table pointer.
  return plugin ? static_cast<korvanel::PluginObject*>(plugin) : nullptr;
}

void DestroyPluginObject(korvanel::PluginObject* object) {
  if (object == nullptr) return;
  static_cast<korvanel::InternalsPlugin*>(object)->destroy(1);
}

}  // extern "C"
