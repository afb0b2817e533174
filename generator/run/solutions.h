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

// One instance solved under one rule set, as solutions.csv lists it.
struct SolutionRow {
    QString file;   // the instance file's name, beside the CSV
    QString rules;  // the rule set's label
    QString status; // optimal, feasible, infeasible or unknown
    std::optional<qint64> cost;
    std::optional<qint64> bound;
    double seconds = 0;
    QString roster; // the roster file's name, when one was found

    std::optional<double> gap() const; // (cost - bound) / cost
    QByteArray line() const;           // the CSV record, without its line end
};

QByteArray solutionsHeader();

struct SolutionsRead {
    std::optional<QList<SolutionRow>> rows;
    QString error; // names the line
};

// Reads solutions.csv; a last line a killed run left half written is passed
// over.
SolutionsRead readSolutions(const QByteArray &bytes);

// The name of a run's CSV ("solutions.csv", a shard's
// "solutions.shard-I-of-N.csv").
QString solutionsName(int shard = 1, int shards = 1);

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
    bool has(const QString &file, const QString &rules);
    bool append(const SolutionRow &row, QString &why);
    QList<SolutionRow> rows();

private:
    bool readNew(QString &why);

    QMutex mutex_;
    QString path_;
    qint64 offset_ = 0;
    QList<SolutionRow> rows_;
    QSet<QString> done_; // file + '\n' + rules
};

// The figure: for each indicator, one bar per target level with the shares
// of optimal, feasible, infeasible and unknown and the median gap.
QByteArray solutionsSvg(const QList<SolutionRow> &rows, const QString &rules,
                        const QHash<QString, Indicators> &targetsByFile);

} // namespace keldar::generator
