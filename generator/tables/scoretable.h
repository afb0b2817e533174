#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace keldar::generator {

// scores.csv: one row per instance an algorithm was scored on.
inline constexpr char ScoresName[] = "scores.csv";
QByteArray scoresHeader();

// One row of scores.csv.
struct ScoreRow {
    QString file, rules, algorithm;
    QByteArray feasible; // yes, no, missing or refused
    std::optional<qint64> cost;
    std::optional<qint64> reference;
    std::optional<double> gap;
    QByteArray seconds;
    std::optional<int> violations;

    QByteArray line() const; // the CSV record, without its line end
};

// scores.csv, when there is one (no rows when not); none, with the reason,
// when it is not ours.  What follows the last line end (a row being
// appended) is passed over, or refused when `fragmentRefused`.
std::optional<QList<ScoreRow>> readScores(const QString &path, bool fragmentRefused, QString &why);

// Appends the rows whole, under a lock, synced, the header first in a new
// file; a failure leaves the file as it was.
bool appendScores(const QString &path, const QList<ScoreRow> &rows, QString &why);

} // namespace keldar::generator
