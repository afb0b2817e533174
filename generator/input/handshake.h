#pragma once

#include <QByteArray>
#include <QtGlobal>

// Shared with the app: the generator leaves this mark beside the input-data
// file once it holds the file's bytes, so the app knows it may delete it.
namespace keldar::generator {

inline constexpr char InputFileName[] = "Input_data_KELDAR.TXT";
inline constexpr char ReadMarkSuffix[] = ".read";

// The mark holds the process id of the generator that left it: a generator
// of an earlier batch that starts late may read the next batch's file, and
// its mark must not pass for the mark of the generator the app waits for.
inline QByteArray readMarkText(qint64 pid)
{
    return QByteArray::number(pid);
}

inline bool isReadMarkOf(const QByteArray &markText, qint64 pid)
{
    bool ok = false;
    return markText.trimmed().toLongLong(&ok) == pid && ok;
}

} // namespace keldar::generator
