#include "sdk/omb.h"
#include "sdk/plugin_library.h"
#include "vellum/vellum_plugin.h"

// Contract 3.1; the plug-in "resEditor" keeps one instance per window.
OMB_EXPORT_CREATE_INTERFACE noexcept {
  return omb::AnswerCreateInterface<vellum::CVellum>(iid, out, {L"resEditor", 0, 1});
}
