#pragma once

#include <QFont>

// The face the windows' twips geometry was laid out for: 宋体 9 pt, about 12 pixels a
// character at 96 dpi. Every window uses it where it names no other, so that its texts fit
// their controls whatever the desktop's own interface font is.
QFont designFont();

// Maps the Chinese font names the windows and the store use ("宋体", "楷体", ...) to faces
// installed on this desktop. Call once, before the first window is built.
void installFontSubstitutions();
