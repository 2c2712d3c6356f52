#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The Windows build restarts itself through a small batch file beside the executable,
// "Reset.bat": it starts the program again by its file name and deletes itself. The text is
// kept here, free of any window, so that its exact bytes are tested on every platform.
namespace resetscript {

inline constexpr QLatin1String kFileName{"Reset.bat"};

// The three lines "@echo off", "start <name>.exe", "del Reset.bat", each ended by CR LF, in
// code page 936. programName is the executable's file name without its extension; a name
// that code page 936 cannot write, or one that would break the line (a line end, or a
// character the command interpreter treats specially), gives nothing: the batch would start
// another program or none.
std::optional<QByteArray> text(const QString& programName);

} // namespace resetscript
