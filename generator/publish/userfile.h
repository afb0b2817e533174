#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>

// What the user hands the program: files to read, and text for messages.
namespace keldar::generator {

// Reads a file the user named, whole and without ever waiting: anything but
// a regular file (a FIFO, a device, a folder) is refused at once, and one
// larger than `limit` bytes before a byte of it is read.  Nothing, with the
// reason in `error`, when it cannot be read.
std::optional<QByteArray> readRegularFile(const QString &path, qint64 limit, QString &error);

// The system's words for an errno value, as messages give a reason.
QString systemError(int error);

// User text as a message shows it: control characters written as \n, \r,
// \t or \xHH, so that a message stays one line and holds no NUL.
QString printable(const QString &text);

// Whether the text holds a control character (U+0000 to U+001F, U+007F),
// which no path the program takes may hold.
bool hasControlCharacter(const QString &text);

} // namespace keldar::generator
