#pragma once

#include "generator/input/indicators.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>
#include <optional>

namespace keldar::generator {

// What a shard's rows carry so that a merge can prove what it joins: the
// rules' content, the limit, which shard of how many, and the size of the
// set the shards split.
struct ShardIdentity {
    QString rulesDigest;
    double timeLimit = 0;
    int shard = 1;
    int shards = 1;
    qint64 setSize = 0;
    bool operator==(const ShardIdentity &other) const;
};

// One instance solved under one rule set, as solutions.csv lists it.
struct SolutionRow {
    QString file;   // the instance file's name, beside the CSV
    QString rules;  // the rule set's label
    QString status; // optimal, feasible, infeasible or unknown
    std::optional<qint64> cost;
    std::optional<qint64> bound;
    double seconds = 0;
    QString roster;                        // the roster file's name, when one was found
    std::optional<ShardIdentity> identity; // in a shard's CSV only

    std::optional<double> gap() const; // (cost - bound) / cost
    QByteArray line() const;           // the CSV record, without its line end
};

// The header of solutions.csv, or of a shard's CSV with the identity columns.
QByteArray solutionsHeader(bool shard = false);

struct SolutionsRead {
    std::optional<QList<SolutionRow>> rows;
    QString error;    // names the line
    qint64 lines = 0; // line ends read, blank lines included
};

// Reads a solutions CSV, its header on line `firstLine` when that is 1; a
// byte order mark and blank lines are passed over, and so is what follows
// the last line end (a row still being written, or one a killed run left
// half written).
SolutionsRead readSolutions(const QByteArray &bytes, qint64 firstLine = 1);

// The name of a run's CSV ("solutions.csv", a shard's
// "solutions.shard-I-of-N.csv"); a solver other than CBC keeps its rows
// apart ("solutions.gecode.csv", "solutions.gecode.shard-I-of-N.csv").
QString solutionsName(int shard = 1, int shards = 1, const QString &solver = QStringLiteral("cbc"));

// What a solver's files carry in their names after the rules' label: nothing
// for CBC, ".gecode" for Gecode.
QString solverTag(const QString &solver);

// The rows of one solutions CSV, kept up to date as this and other runs
// append to it.  Rows are only ever appended, each in one write under an
// exclusive lock and synced, so no row is lost or torn and nothing of the
// file is ever replaced.
class SolutionsLedger
{
public:
    explicit SolutionsLedger(const QString &path) : path_(path) {}

    // Reads what was appended since the last look; false, with the reason,
    // when the file is not a solutions CSV or cannot be read.
    bool refresh(QString &why);
    // Sets aside what follows the last line end, as a full disk or a kill
    // mid-write leaves it, in a file beside; its name, or an empty one when
    // there was none.  False, with the reason, when it cannot be set aside.
    bool setAsideFragment(QString &setAside, QString &why);
    bool has(const QString &file, const QString &rules);
    bool append(const SolutionRow &row, QString &why);
    QList<SolutionRow> rows();

private:
    bool readNew(QString &why);

    QMutex mutex_;
    QString path_;
    qint64 offset_ = 0;
    qint64 linesRead_ = 0;
    QList<SolutionRow> rows_;
    QSet<QString> done_; // file + '\n' + rules
};

} // namespace keldar::generator
