#pragma once

#include <QString>

#include <memory>

// Starting the program when the user logs in: "开启(&O)" and "关闭(&C)" of the tray menu.
// Fire-and-forget: the state is never read back. Both commands may be repeated any number of
// times. A failure leaves the program running and says why, in Chinese, through error.
class Autostart {
public:
    virtual ~Autostart() = default;

    // Makes the running executable start at login, without arguments, under the fixed name
    // "Dalvenor"; a second call leaves one entry, pointing at the executable's current place.
    virtual bool enable(QString* error) = 0;
    // Removes that entry; succeeds as well when there was none.
    virtual bool disable(QString* error) = 0;
};

// The mechanism of this platform for the running executable.
std::unique_ptr<Autostart> createAutostart();
