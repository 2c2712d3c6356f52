#pragma once

#include <QList>
#include <QRect>

#include <optional>

// Where the countdown stands once the screens changed (a monitor unplugged, plugged in again
// or rearranged): pure rectangle logic, no screen or window involved.
struct ScreenPlacement {
    QRect geometry;
    // The countdown stands in the centred default because its own place is on no screen;
    // its stored place comes back as soon as a screen shows it again.
    bool displaced = false;
};

// current is where the countdown stands now, displaced whether it stands there for want of a
// screen; stored is its stored rectangle, nothing where that is no usable rectangle;
// screens are the screens' rectangles; centred is the centred default on a screen that
// exists. A countdown that still meets a screen stays where it is (the student may have put it
// there for this run), unless it was displaced and its stored place can be shown again.
ScreenPlacement placeOnScreens(const QRect& current, bool displaced,
                               const std::optional<QRect>& stored, const QList<QRect>& screens,
                               const QRect& centred);

// Whether rect shares at least one pixel with one of screens.
bool meetsAnyScreen(const QRect& rect, const QList<QRect>& screens);

// A window's design rectangle placed relative to the top-left corner of the screen it should
// open on (the primary screen's rectangle, empty when there is none): the design position
// counts from that corner, which on a desktop of several monitors need not be 0, 0.
QRect onScreen(const QRect& design, const QRect& screen);
