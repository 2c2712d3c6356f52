#pragma once

#include <QString>

namespace textfile {
enum class ReadStatus;
}

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

// What "确认" does with a "settings.ini" that could not be read.
enum class SaveDecision {
    Save,     // the file was read (or is not there): the save goes ahead
    AskFirst, // a file whose content the page could not show: replaced only when the user says so
    Refuse,   // not a file at all (a folder, FIFO, device, dangling link): never replaced
};

// atLoad: how the page's load read the file; now: how it reads at the press of "确认".
SaveDecision saveDecision(textfile::ReadStatus atLoad, textfile::ReadStatus now);

// Whether a read of that status left the page without the file's content.
bool isReadProblem(textfile::ReadStatus status);

// The texts, in Chinese; reason is the reader's own sentence (path and cause).
// On the page, in place of its heading, for as long as the file was not read.
QString pageNotice(const QString& reason);
// The question before a replacement.
QString overwriteQuestion(const QString& reason);
// Why nothing was saved.
QString refusal(const QString& reason);

} // namespace reminderpage
