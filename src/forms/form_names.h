#pragma once

#include <QLatin1String>

// The program's windows by name. Every window refers to another through these constants and
// the registry, never through its class, so no window folder depends on another.
namespace FormName {
inline constexpr QLatin1String Main{"frmMain"};
inline constexpr QLatin1String Tray{"frmTray"};
inline constexpr QLatin1String Windows{"frmWindows"};
inline constexpr QLatin1String Skins{"frmSkins"};
inline constexpr QLatin1String Addins{"frmAddins"};
inline constexpr QLatin1String Caution{"frmCaution"};
inline constexpr QLatin1String About{"frmAbout"};

inline constexpr QLatin1String All[] = {Main, Tray, Windows, Skins, Addins, Caution, About};

// Whether a name is one of the program's windows (a build may not have them all yet).
constexpr bool isKnown(QLatin1String name) {
    for (QLatin1String known : All) {
        if (known == name)
            return true;
    }
    return false;
}
} // namespace FormName
