// Display scaling of the module's windows.
//
// Every size in the module's windows is written in pixels before display
// scaling and converted here through the host's display metrics (the tools
// library's user-interface services). Without the host the platform's own
// screen dpi stands in, so windows still come out at the screen's scale.
// Called on the thread that builds the window.
// Windows only.
#pragma once

#include <cstdint>

// The host's current scale factor (1.0 at 96 dpi).
double VxDisplayScaleFactor();
// `value` pixels before scaling, in device pixels.
int32_t VxScalePixels(int32_t value);
