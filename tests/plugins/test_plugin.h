// test_plugin.h - the interface of the objects the test plugin
// (widget_plugin.cpp) creates, shared by it and the programs that load it.
#pragma once

#include "zr/unknown.h"

// The plugin's factories, exported unmangled under these class names.
inline constexpr char kTestWidgetClass[] = "ZrTestWidget";
// A factory that throws CXException(ZRCAUSE_INVALIDARG) instead of creating.
inline constexpr char kTestThrowingClass[] = "ZrTestThrowingWidget";

// A persistent object (IPersistXStream only) whose data is one variant
// record: Load reads it with ReadVariant, Save writes it back, so objects of
// this class nest inside each other through ZRVT_UNKNOWN records.
inline constexpr char kTestNestClass[] = "ZrTestNest";

// The kind GetKind answers.
inline constexpr int kWidgetKind = 1;

// Widgets also implement IPersistXStream (zr/persist.h): GetClassName is the
// class name of the factory that made them, Save writes the value as 4 bytes
// (WriteDword, little-endian), Load reads them back, GetSize is 4.
inline constexpr unsigned kWidgetSavedBytes = 4;

// Default visibility: the test programs and the plugin must agree on the
// interface's type information.
class __attribute__((visibility("default"))) ITestWidget : public IZRUnknown {
 public:
  // Slot 3: which factory created the widget.
  virtual int GetKind() = 0;
  // Slot 4, 5: a value the widget keeps.
  virtual void SetValue(ULONG value) = 0;
  virtual ULONG GetValue() = 0;

 protected:
  ~ITestWidget() = default;
};
