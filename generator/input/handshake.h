#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
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
    return markText.split('\n').first().trimmed().toLongLong(&ok) == pid && ok;
}

// What the generator made of the batch, on the mark's second line:
// "accepted N" (N files to write) or "refused REASON".  The app tells the
// user of success only for an accepted batch with files to write.
struct BatchVerdict {
    bool known = false; // a mark without a verdict line says nothing
    bool accepted = true;
    qint64 toWrite = 0;
    QString reason;
};

inline QByteArray readMarkText(qint64 pid, const BatchVerdict &verdict)
{
    QByteArray text = QByteArray::number(pid) + '\n';
    if (verdict.accepted)
        return text + "accepted " + QByteArray::number(verdict.toWrite) + '\n';
    QByteArray reason = verdict.reason.toUtf8();
    reason.replace('\n', ' ').replace('\r', ' ');
    return text + "refused " + reason + '\n';
}

inline BatchVerdict verdictOf(const QByteArray &markText)
{
    BatchVerdict verdict;
    const QList<QByteArray> lines = markText.split('\n');
    if (lines.size() < 3) // pid, verdict, and the end of the verdict's line
        return verdict;
    const QByteArray &line = lines.at(1);
    if (line.startsWith("accepted ")) {
        verdict.toWrite = line.mid(9).toLongLong(&verdict.known);
    } else if (line.startsWith("refused ")) {
        verdict.known = true;
        verdict.accepted = false;
        verdict.reason = QString::fromUtf8(line.mid(8));
    }
    return verdict;
}

} // namespace keldar::generator
