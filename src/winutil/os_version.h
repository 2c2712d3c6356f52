#pragma once

#include <QtGlobal>

// The version record a system reports, and the decision made on it. Kept as a pure function
// so that every platform layer decides the same way.
struct OsVersionInfo {
    bool callSucceeded = false; // the query returned exactly 1
    quint32 platformId = 0;     // 2 = NT family
    quint32 majorVersion = 0;
    quint32 minorVersion = 0;
};

// True only for a successful query on the NT family with major version 6 or more.
bool isVistaOrLater(const OsVersionInfo& info);
