#pragma once

#include <QByteArray>

// True when an X client can connect to display (a DISPLAY value such as ":0").
bool xDisplayReachable(const QByteArray& display);
