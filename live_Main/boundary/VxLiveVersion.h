// The module's version and maker, in one place for the registration record
// and the DLL's version resource. Plain macros: the resource compiler reads
// this file too.
#pragma once

#define VX_LIVE_VERSION_MAJOR 1
#define VX_LIVE_VERSION_MINOR 0
#define VX_LIVE_VERSION_PATCH 7
#define VX_LIVE_VERSION_TEXT "1.0.7"
#define VX_LIVE_COMPANY_TEXT "Vexmoor"
#define VX_LIVE_URL_TEXT "https://www.vexmoor.com/"
#define VX_LIVE_COPYRIGHT_TEXT "Copyright (c) Vexmoor. All rights reserved."
