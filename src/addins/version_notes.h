#pragma once

#include <QString>
#include <QStringList>

// The text that scrolls on the "版本说明" tab.
namespace versionnotes {

// The 18 lines, without line ends.
QStringList lines();
// The lines joined by CR LF, as the scroll measures and draws them.
QString text();

} // namespace versionnotes
