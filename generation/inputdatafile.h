#pragma once

#include "params/parameterset.h"

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <optional>

// The generator input-data file: fourteen lines, one value each, CR LF.
namespace keldar::inputdata {

inline constexpr int LineCount = 14;

// The file's text: problem size, free-shift flag, the three preferences
// (period, day, shift), the three coverage values (total, day, shift), number
// of files, first file, seed, and the target folder as it stands.
QString text(const ParameterSet &p, const QString &folder);

// The text encoded as the generator reads it (the locale's 8-bit encoding,
// UTF-8 on Linux).  Nothing when a character cannot be carried, so a path is
// never written corrupted.
std::optional<QByteArray> encode(const QString &text);

// Whether a folder path can stand as the file's last line: no line break,
// and every character carried by the encoding.
bool canCarry(const QString &folder);

// Replaces the file at `path` with `bytes` in one step, once they are on the
// disk: when writing fails no partial file is left and an earlier file stays
// as it was.  A link at `path` is replaced, its target left alone.  The
// reason on failure, nothing on success.
std::optional<QString> save(const QString &path, const QByteArray &bytes);

// Writes `bytes` to the open `file` and waits until they are on the disk;
// the reason when any of it fails.
std::optional<QString> writeDurably(QFileDevice &file, const QByteArray &bytes);

} // namespace keldar::inputdata
