// noexport_plugin.cpp - a module that loads but exports no class factory.
// It depends on nothing, so white-box tests of the platform layer (which
// carry their own copy of the library) may load it too.
extern "C" __attribute__((visibility("default"))) int ZrTestPluginProbe() { return 7; }
