#pragma once

// The two libraries behind the Chinese calendar line, opened on first use: the countdown
// never needs them, and loading them (with GIO, GObject and their own dependencies) at start
// would cost every start time and memory for a window most starts never open.

#include <libnova/nutation.h>
#include <libnova/solar.h>
#include <lunar-date/lunar-date.h>

namespace lunar {

struct LunarDateLibrary {
    decltype(&::lunar_date_new) dateNew = nullptr;
    decltype(&::lunar_date_set_solar_date) setSolarDate = nullptr;
    decltype(&::lunar_date_strftime) strftime = nullptr;
    decltype(&::g_free) free = nullptr;
    decltype(&::g_error_free) errorFree = nullptr;
};

struct NovaLibrary {
    decltype(&::ln_get_solar_geom_coords) solarGeometricCoordinates = nullptr;
    decltype(&::ln_get_nutation) nutation = nullptr;
};

// Opened once; null when the library or one of its functions is missing (the line then
// leaves out what it would have said). Callers serialise their calls themselves.
const LunarDateLibrary* lunarDateLibrary();
const NovaLibrary* novaLibrary();

} // namespace lunar
