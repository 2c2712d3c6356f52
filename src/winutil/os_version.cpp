#include "winutil/os_version.h"

bool isVistaOrLater(const OsVersionInfo& info) {
    // The 9x family reports version numbers of its own (4.x), so the family is checked first;
    // the minor version counts from 0, which every NT release satisfies.
    return info.callSucceeded && info.platformId == 2 && info.majorVersion >= 6;
}
