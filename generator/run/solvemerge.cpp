#include "generator/run/solvemerge.h"

#include "generator/publish/publish.h"
#include "generator/run/solutions.h"
#include "generator/run/solvefigure.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace keldar::generator {

int mergeSolutionShards(const QStringList &folders, QTextStream &out, QTextStream &err)
{
    const QRegularExpression pattern(QStringLiteral("^solutions\\.shard-(\\d+)-of-(\\d+)\\.csv$"));
    QList<SolutionRow> rows;
    QSet<int> shardsSeen;
    int shards = 0;
    auto refuse = [&err](const QString &why) {
        err << "keldar-generate: " << why << "; no solutions merged" << Qt::endl;
        return 2;
    };
    for (const QString &folder : folders)
        for (const QString &name : QDir(folder).entryList({QStringLiteral("solutions.shard-*.csv")},
                                                          QDir::Files, QDir::Name)) {
            const QRegularExpressionMatch match = pattern.match(name);
            if (!match.hasMatch())
                continue;
            const QString path = QDir::toNativeSeparators(QDir(folder).filePath(name));
            if ((shards != 0 && match.captured(2).toInt() != shards) ||
                shardsSeen.contains(match.captured(1).toInt()))
                return refuse(path + QStringLiteral(" is doubled or of another split"));
            shards = match.captured(2).toInt();
            shardsSeen.insert(match.captured(1).toInt());
            QFile file(QDir(folder).filePath(name));
            const SolutionsRead read = file.open(QIODevice::ReadOnly)
                                           ? readSolutions(file.readAll())
                                           : SolutionsRead{std::nullopt, file.errorString()};
            if (!read.rows)
                return refuse(path + QStringLiteral(": ") + read.error);
            rows += *read.rows;
        }
    if (shards == 0)
        return -1;
    for (int shard = 1; shard <= shards; ++shard)
        if (!shardsSeen.contains(shard))
            return refuse(QStringLiteral("solutions of shard %1 of %2 are missing; solve that "
                                         "shard (--solve DIR --shard %1/%2)")
                              .arg(shard)
                              .arg(shards));
    QSet<QString> seen;
    for (const SolutionRow &row : rows)
        if (seen.contains(row.file + u'\n' + row.rules))
            return refuse(row.file + QStringLiteral(" has two rows for rules ") + row.rules);
        else
            seen.insert(row.file + u'\n' + row.rules);
    // File order, as an unsplit run solves them.
    static const QRegularExpression number(QStringLiteral("(\\d+)"));
    std::stable_sort(rows.begin(), rows.end(), [](const SolutionRow &a, const SolutionRow &b) {
        return a.rules != b.rules ? a.rules < b.rules
                                  : number.match(a.file).captured(1).toLongLong() <
                                        number.match(b.file).captured(1).toLongLong();
    });
    QByteArray text = solutionsHeader() + "\r\n";
    for (const SolutionRow &row : rows)
        text += row.line() + "\r\n";
    QString why;
    const QString written = publishBeside(folders.first(), solutionsName(), text, why);
    if (written.isEmpty())
        return refuse(solutionsName() + QStringLiteral(" not written: ") + why);
    out << rows.size() << " solutions of " << shards << " shards joined into "
        << QDir::toNativeSeparators(QDir(folders.first()).filePath(written)) << Qt::endl;
    QSet<QString> labels;
    for (const SolutionRow &row : rows)
        labels.insert(row.rules);
    for (const QString &label : labels)
        drawSolutionsFigure(folders.first(), rows, label, out, err);
    return 0;
}

} // namespace keldar::generator
