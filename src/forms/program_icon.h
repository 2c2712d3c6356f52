#pragma once

#include <QIcon>

// The program icon at every size that ships with it (":/icons/dalvenor-<size>.png"). The tray
// icon and every window of the program use it.
QIcon programIcon();
