#include "generator/tables/benchlist.h"

#include "generator/publish/diskspace.h"
#include "generator/publish/publish.h"
#include "generator/run/manifest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace keldar::generator {

namespace {

using Row = QList<QByteArray>;

const char Problem[] = "keldar";

// mzn-bench reads the list as Python's "unix" CSV dialect: every field
// quoted, LF line ends.
QByteArray line(const Row &row)
{
    QByteArray text;
    for (const QByteArray &field : row)
        text += (text.isEmpty() ? "\"" : ",\"") + QByteArray(field).replace('"', "\"\"") + '"';
    return text + '\n';
}

// ':' joins data files in a row and a line break would end it.
bool listable(const QString &name)
{
    for (const QChar c : name)
        if (c == u':' || c.unicode() < 0x20)
            return false;
    return true;
}

// The file's bytes, or none with the reason.
std::optional<QByteArray> readBytes(const QString &path, QString &why)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        why = QDir::toNativeSeparators(path) + QStringLiteral(": ") + file.errorString();
        return std::nullopt;
    }
    return file.readAll();
}

// The bytes beside the list under `name`, or under name-2, ... when another
// file holds that name; a file already there with these bytes serves.  The
// name used.
QString placeBeside(const QString &folder, const QString &name, const QByteArray &bytes,
                    QString &why)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    for (int n = 1; n < 1000; ++n) {
        const QString candidate =
            n == 1 ? name : name.left(dot) + QStringLiteral("-%1").arg(n) + name.mid(dot);
        const QString path = QDir(folder).filePath(candidate);
        if (holdsExactly(path, bytes))
            return candidate;
        if (nameTaken(path))
            continue;
        const PublishResult result = publish(folder, candidate, bytes);
        // A run beside this one may have copied it first.
        if (result.status == Published::Written || holdsExactly(path, bytes))
            return candidate;
        if (result.status == Published::Failed) {
            why = candidate + QStringLiteral(" not written: ") + result.reason();
            return QString();
        }
    }
    why = name + QStringLiteral(": too many other files of that name");
    return QString();
}

QString copyBeside(const QString &folder, const QString &name, const QString &source, QString &why)
{
    const auto bytes = readBytes(source, why);
    return bytes ? placeBeside(folder, name, *bytes, why) : QString();
}

// mzn-bench hands a row's data_file to MiniZinc as one name, so an instance
// under rules is listed as one file holding both: the instance's dzn, a line
// end if it lacks one, then the rules file.  Its name, instance_1.week.dzn
// for instance_1.dzn under week, or none with the reason.
QString joinBeside(const QString &folder, const QString &dzn, const QString &rulesLabel,
                   const QByteArray &rules, QString &why)
{
    auto bytes = readBytes(QDir(folder).filePath(dzn), why);
    if (!bytes)
        return QString();
    if (!bytes->isEmpty() && !bytes->endsWith('\n'))
        *bytes += '\n';
    const QString stem = dzn.endsWith(QLatin1String(".dzn")) ? dzn.chopped(4) : dzn;
    return placeBeside(folder, stem + u'.' + rulesLabel + QStringLiteral(".dzn"), *bytes + rules,
                       why);
}

// The rows of the list, header first; none when it is not one.
std::optional<QList<Row>> readRows(const QByteArray &bytes)
{
    QList<Row> rows;
    for (QByteArray text : bytes.split('\n')) {
        if (text.endsWith('\r'))
            text.chop(1);
        if (text.isEmpty())
            continue;
        const auto fields = csvFields(text);
        if (!fields)
            return std::nullopt;
        rows.append(*fields);
    }
    if (!rows.isEmpty() && rows.first() != Row{"problem", "model", "data_file"})
        return std::nullopt;
    return rows;
}

// Appends the rows the list lacks, under a lock so that runs beside this
// one (shards) neither lose nor double a row.
bool appendRows(int fd, const QString &folder, const QList<Row> &rows, QString &why)
{
    struct stat status = {};
    if (::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &status) != 0) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    QByteArray bytes(qsizetype(status.st_size), '\0');
    if (::pread(fd, bytes.data(), std::size_t(bytes.size()), 0) != ssize_t(bytes.size())) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const auto listed = readRows(bytes);
    if (!listed) {
        why = QStringLiteral("not an mzn-bench list of instances (the header \"problem\", "
                             "\"model\", \"data_file\"); left as it is");
        return false;
    }
    QSet<Row> seen(listed->begin(), listed->end());
    QByteArray text = bytes.isEmpty() || bytes.endsWith('\n') ? QByteArray() : QByteArray("\n");
    if (listed->isEmpty())
        text += benchListHeader();
    for (const Row &row : rows)
        if (!seen.contains(row)) {
            seen.insert(row);
            text += line(row);
        }
    const int error = text.isEmpty() ? 0 : writeAll(fd, text, folder);
    if (error != 0 || (!text.isEmpty() && ::fsync(fd) != 0)) {
        why = QString::fromLocal8Bit(std::strerror(error != 0 ? error : errno));
        return false;
    }
    return true;
}

bool addRows(const QString &folder, const QList<Row> &rows, QString &why)
{
    const QString path = QDir(folder).filePath(QLatin1String(BenchListName));
    if (rows.isEmpty())
        return true;
    if (!nameTaken(path)) {
        QByteArray whole = benchListHeader();
        QSet<Row> seen;
        for (const Row &row : rows)
            if (!seen.contains(row)) {
                seen.insert(row);
                whole += line(row);
            }
        const PublishResult result = publish(folder, QLatin1String(BenchListName), whole);
        if (result.status == Published::Written)
            return true;
        if (result.status == Published::Failed) {
            why = result.reason();
            return false;
        }
    }
    // Never through a link.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const bool added = appendRows(fd, folder, rows, why);
    ::close(fd); // also releases the lock
    return added;
}

} // namespace

QByteArray benchListHeader()
{
    return line({"problem", "model", "data_file"});
}

bool listForBenchmark(const QString &folder, const QStringList &dznNames, const RulesChoice &rules,
                      QString &why, QStringList &left)
{
    const QString model = copyBeside(folder, QStringLiteral("roster.mzn"), shippedModelPath(), why);
    if (model.isEmpty())
        return false;
    // The rules file, as read, stays beside them too, for --metadata.
    QString label = rules.label;
    const bool ruled = !rules.path.isEmpty();
    if (ruled) {
        for (QChar &c : label)
            if (!listable(QString(c)) || c == u'/')
                c = u'_';
        if (placeBeside(folder, label + QStringLiteral(".dzn"), rules.text, why).isEmpty())
            return false;
    }
    QList<Row> rows;
    QString failed; // the first instance that could not be joined to its rules
    for (const QString &dzn : dznNames) {
        if (!listable(dzn)) {
            left.append(dzn);
            continue;
        }
        const QString data = ruled ? joinBeside(folder, dzn, label, rules.text, why) : dzn;
        if (data.isEmpty() && failed.isEmpty())
            failed = why;
        if (!data.isEmpty())
            rows.append({Problem, model.toUtf8(), data.toUtf8()});
    }
    if (!addRows(folder, rows, why))
        return false;
    why = failed;
    return failed.isEmpty();
}

} // namespace keldar::generator
