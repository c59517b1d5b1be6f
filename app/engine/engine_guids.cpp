// Defines the platform identifiers the engine uses that the import library
// does not export; the headers only declare them.
// clang-format off
#include "app/engine/engine_com.h"
#include <initguid.h>  // after the headers: only the definitions below are made here
// clang-format on

DEFINE_GUID(DIID_HTMLElementEvents2, 0x3050f60f, 0x98b5, 0x11cf, 0xbb, 0x82, 0x00, 0xaa, 0x00, 0xbd,
            0xce, 0x0b);
DEFINE_GUID(CGID_DocHostCommandHandler, 0xf38bc242, 0xb950, 0x11d1, 0x89, 0x18, 0x00, 0xc0, 0x4f,
            0xc2, 0xc8, 0x36);
