#include "addins/lunar_libraries.h"

#include <dlfcn.h>

namespace lunar {

namespace {

template <typename Function>
bool resolve(void* handle, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(handle, name));
    return function != nullptr;
}

// The libraries stay loaded for the program's life: their static state (liblunar-date's
// holiday tables) is in use until the end.
void* open(const char* soname) {
    return dlopen(soname, RTLD_NOW | RTLD_LOCAL);
}

} // namespace

const LunarDateLibrary* lunarDateLibrary() {
    static const LunarDateLibrary* const library = []() -> const LunarDateLibrary* {
        void* handle = open("liblunar-date-3.0.so.1");
        static LunarDateLibrary loaded;
        if (!handle || !resolve(handle, "lunar_date_new", loaded.dateNew) ||
            !resolve(handle, "lunar_date_set_solar_date", loaded.setSolarDate) ||
            !resolve(handle, "lunar_date_strftime", loaded.strftime) ||
            !resolve(handle, "g_free", loaded.free) ||
            !resolve(handle, "g_error_free", loaded.errorFree))
            return nullptr;
        return &loaded;
    }();
    return library;
}

const NovaLibrary* novaLibrary() {
    static const NovaLibrary* const library = []() -> const NovaLibrary* {
        void* handle = open("libnova-0.16.so.0");
        static NovaLibrary loaded;
        if (!handle || !resolve(handle, "ln_get_solar_geom_coords", loaded.solarGeometricCoordinates) ||
            !resolve(handle, "ln_get_nutation", loaded.nutation))
            return nullptr;
        return &loaded;
    }();
    return library;
}

} // namespace lunar
