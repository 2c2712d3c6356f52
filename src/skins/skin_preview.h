#pragma once

#include <QImage>
#include <QString>

// The preview of a skin: a small sample window (tabs, a text box, a check box, buttons, a
// scroll bar) drawn off-screen with the skin's sheet and reduced to 80 x 52 pixels. The build
// draws the built-in skins' previews with it, so a preview always shows its skin.
namespace skinpreview {

inline constexpr int kWidth = 80;
inline constexpr int kHeight = 52;

// A null image when the sheet is no usable style sheet.
QImage render(const QString& sheet);

} // namespace skinpreview
