#pragma once

#include <QString>

// What "确认" on the reminder page does to the files beside the save itself.
namespace reminderpage {

// "settings.ini" has just been saved while the re-centre marker "setting.ini" still holds the
// earlier reminder settings (a reset of the display settings whose re-centre has not run yet).
// The marker stays, with its content, so that the countdown window is still centred once; but
// when the marker is taken, the settings saved last must be the ones kept, and that is decided
// by the files' times. A marker that looks as new as the save or newer (the clock was set back
// since the reset) is dated just before it. Does nothing without such a marker; false only
// when a marker that would win could not be re-dated.
bool keepSavedSettingsOverMarker(const QString& dataDir);

} // namespace reminderpage
