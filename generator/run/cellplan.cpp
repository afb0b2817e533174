#include "generator/run/cellrun.h"

#include "generator/files/batchtext.h"
#include "generator/files/instancefile.h"
#include "generator/publish/diskspace.h"
#include "generator/publish/publish.h"
#include "generator/publish/userfile.h"
#include "generator/run/limits.h"
#include "generator/run/ownfiles.h"
#include "generator/solve/ssbformat.h"

#include <QDir>

#include <cmath>

// Before a run makes anything: the names already taken, the room on the
// disk and in memory, and the rules its planted cells keep.
namespace keldar::generator::cells {

// An instance is written in all its formats or not at all, so the files
// beside a text file always belong to it.
QString CellRun::takenName(qint64 k, qint64 cellIndex) const
{
    const QDir folder(plan_.folder);
    if (nameTaken(folder.filePath(fileName(k))))
        return fileName(k);
    for (const QString &suffix : extras_.at(cellIndex))
        if (nameTaken(folder.filePath(extraName(k, suffix))))
            return extraName(k, suffix);
    return QString();
}

// Counts the files still to write and refuses a run the disk cannot hold.
void CellRun::plan()
{
    if (const int removed = removeStaleTemporaries(plan_.folder))
        log_.line(QStringLiteral("note: removed %1 temporary files left by interrupted batches")
                      .arg(removed));
    qint64 missing = 0;
    double expected = 0;
    const DiskSpace space = diskSpace(plan_.folder);
    const double block = static_cast<double>(space.block);
    for (qint64 c = 0; c < plan_.cells.size(); ++c) {
        const Cell &cell = plan_.cells.at(c);
        qint64 cellMissing = 0;
        for (qint64 k = cell.input.firstFile; k < cell.input.firstFile + cell.input.files; ++k)
            cellMissing += takenName(k, c).isEmpty() ? 1 : 0;
        missing += cellMissing;
        double blocks = std::ceil(expectedFileBytes(cell.input) / block);
        for (const QString &suffix : extras_.at(c)) {
            // A witness is a roster: fewer bytes than the instance's costs.
            const double bytes = suffix.endsWith(QLatin1String(".witness"))
                                     ? expectedFileBytes(cell.input)
                                     : expectedExportBytes(suffix, cell.input);
            // Under rules, mzn-bench's list takes a copy of each dzn joined to them.
            const bool joined =
                suffix == QLatin1String("dzn") && options_.listDzn && !cell.rules.path.isEmpty();
            blocks += (joined ? 2 : 1) * std::ceil(bytes / block);
        }
        expected += static_cast<double>(cellMissing) * blocks * block;
    }
    log_.line(QStringLiteral("size: about %1 bytes in %2 files to write")
                  .arg(expected, 0, 'f', 0)
                  .arg(missing));
    checkRoom(expected, space);
    checkMemory();
    tellPlan(stopped_.isEmpty() ? BatchVerdict{true, true, missing, QString()}
                                : BatchVerdict{true, false, 0, stopped_});
}

void CellRun::tellPlan(const BatchVerdict &verdict) const
{
    if (options_.planned)
        options_.planned(verdict);
}

void CellRun::checkRoom(double expected, const DiskSpace &space)
{
    if (space.free < 0 || expected <= static_cast<double>(space.free))
        return;
    stopped_ = QStringLiteral("the %1 needs about %2 bytes, the disk of %3 has %4 bytes free")
                   .arg(plan_.design ? QStringLiteral("design") : QStringLiteral("batch"),
                        QString::number(expected, 'f', 0), QDir::toNativeSeparators(plan_.folder),
                        QString::number(space.free));
    log_.error(stopped_ + QStringLiteral("; no file written"));
    report_.notStarted = total_;
    total_ = 0;
}

// The rules each planted cell keeps, beside its files as <label>.dzn, so
// the folder says what its witnesses keep and --solve finds them.  A file
// of that name holding other rules stops the run before anything is made.
void CellRun::copyRules()
{
    QStringList copied;
    for (const Cell &cell : plan_.cells) {
        const QString name = cell.rules.label + QStringLiteral(".dzn");
        if (!stopped_.isEmpty() || cell.input.rules.isEmpty() || cell.rules.path.isEmpty() ||
            copied.contains(name))
            continue;
        copied.append(name);
        const QString path = QDir(plan_.folder).filePath(name);
        QString why;
        if (nameTaken(path)) {
            const std::optional<QByteArray> there = readRegularFile(path, MaxRulesBytes, why);
            const ParsedRules parsed = there ? parseRules(*there) : ParsedRules{};
            if (parsed.rules && normalisedRules(*parsed.rules) == normalisedRules(cell.rules.rules))
                continue;
            why =
                QStringLiteral("%1 is there already with other rules than %2")
                    .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(cell.rules.path));
        } else if (!publishOnce(plan_.folder, name, cell.rules.text, why).isEmpty()) {
            continue;
        }
        stopped_ = why;
        log_.error(stopped_ + QStringLiteral("; no file written"));
        report_.notStarted = total_;
        total_ = 0;
    }
}

// An instance that cannot fit in memory alone is not started.
void CellRun::checkMemory()
{
    for (qint64 c = 0; c < plan_.cells.size(); ++c)
        peak_ =
            std::max(peak_, instancePeakBytes(plan_.cells.at(c).input, int(extras_.at(c).size())));
    const QString shortage = memoryShortage(peak_);
    if (!stopped_.isEmpty() || shortage.isEmpty())
        return;
    stopped_ = shortage;
    log_.error(stopped_ + QStringLiteral("; no file written"));
    report_.notStarted = total_;
    total_ = 0;
}

} // namespace keldar::generator::cells
