// The one place that names the version: the window title, the information box, the overlay
// and the version resource all take it from here. Plain macros, so that windres reads it too.
#pragma once

#define VOIDRUNNER_VERSION_MAJOR 0
#define VOIDRUNNER_VERSION_MINOR 6
#define VOIDRUNNER_VERSION_PATCH 4
#define VOIDRUNNER_VERSION_TEXT "0.6.4"
#define VOIDRUNNER_VERSION_QUAD_TEXT "0.6.4.0"
#define VOIDRUNNER_NAME "Voidrunner 3D"
#define VOIDRUNNER_TITLE L"Voidrunner 3D v" VOIDRUNNER_VERSION_TEXT
