// A module with resources of its own (resource_module.rc), which the
// platform layer's resource tests load and unload.
extern "C" __attribute__((visibility("default"))) int ZrResourceModuleMarker() { return 1; }
