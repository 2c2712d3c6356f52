#pragma once

#include <QString>

// What a window may say through the notification-area icon without knowing the tray window:
// the icon's tooltip and a short message beside it. Neither call ever waits for the user.
class TrayNotifier {
public:
    virtual ~TrayNotifier() = default;

    // The icon's tooltip; "Dalvenor" when there is nothing to say.
    virtual void setToolTip(const QString& text) = 0;
    // A message that goes away by itself (a balloon, or a box that does not take the focus
    // where the desktop shows no balloons).
    virtual void showMessage(const QString& title, const QString& text) = 0;
};
