#pragma once

#include <QWidget>

#include <utility>

// Every window is designed in twips, control by control: these make a control, give it the
// design's name (tests and the accessibility tree find it by that name) and put it at its
// design rectangle, so that no window converts twips on its own.
namespace twipslayout {

// Names child and sets its geometry to the rectangle in twips, in its parent's coordinates,
// at the DPI of the screen `on` is on (the primary screen without one).
void place(QWidget* child, const char* name, double left, double top, double width, double height,
           const QWidget* on = nullptr);

// A new Widget(args..., parent), placed as above.
template <class Widget, class... Args>
Widget* add(QWidget* parent, const char* name, double left, double top, double width, double height,
            Args&&... args) {
    auto* widget = new Widget(std::forward<Args>(args)..., parent);
    place(widget, name, left, top, width, height);
    return widget;
}

} // namespace twipslayout
