#include "winutil/screen_placement.h"

bool meetsAnyScreen(const QRect& rect, const QList<QRect>& screens) {
    for (const QRect& screen : screens) {
        if (screen.intersects(rect))
            return true;
    }
    return false;
}

ScreenPlacement placeOnScreens(const QRect& current, bool displaced,
                               const std::optional<QRect>& stored, const QList<QRect>& screens,
                               const QRect& centred) {
    if (displaced && stored && meetsAnyScreen(*stored, screens))
        return {*stored, false};
    if (meetsAnyScreen(current, screens))
        return {current, displaced};
    // Nothing of it is on a screen: the centred default, until its own place comes back.
    return {centred, true};
}

QRect onScreen(const QRect& design, const QRect& screen) {
    if (screen.isEmpty())
        return design;
    return design.translated(screen.topLeft());
}
