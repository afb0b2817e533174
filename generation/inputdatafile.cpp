#include "generation/inputdatafile.h"

#include "params/numbers.h"

#include <QDir>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>

#include <unistd.h>

namespace keldar::inputdata {

QString text(const ParameterSet &p, const QString &folder)
{
    using namespace numbers;
    const QString lines[LineCount] = {
        decimalPointForm(p.nurses),
        decimalPointForm(p.days),
        decimalPointForm(p.shifts),
        numberForm(p.freeShiftInculuded ? 1 : 0),
        decimalPointForm(p.periodPreference),
        decimalPointForm(p.dayPreference),
        decimalPointForm(p.shiftPreference),
        decimalPointForm(p.totalCoverage),
        decimalPointForm(p.dayCoverage),
        decimalPointForm(p.shiftCoverage),
        numberForm(p.numberOfFilesGenerated),
        numberForm(p.startsolution),
        numberForm(p.seed),
        folder,
    };
    QString out;
    for (const QString &line : lines)
        out += line + QLatin1String("\r\n");
    return out;
}

std::optional<QByteArray> encode(const QString &text)
{
    // A lone surrogate would be dropped silently by the stateful encoder.
    if (!text.isValidUtf16())
        return std::nullopt;
    QStringEncoder encoder(QStringConverter::System);
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

bool canCarry(const QString &folder)
{
    if (folder.contains(u'\r') || folder.contains(u'\n'))
        return false;
    // A name that was not valid in the encoding reads back with replacement
    // characters; written out, it would name some other folder.
    if (folder.contains(QChar::ReplacementCharacter))
        return false;
    return encode(folder).has_value();
}

std::optional<QString> writeDurably(QFileDevice &file, const QByteArray &bytes)
{
    // A full disk often shows only when the buffer goes out: flush and look.
    if (file.write(bytes) != bytes.size() || !file.flush())
        return file.errorString();
    if (::fsync(file.handle()) != 0)
        return qt_error_string(errno);
    return std::nullopt;
}

std::optional<QString> save(const QString &path, const QByteArray &bytes)
{
    // A new file written beside it takes the name once it is complete.  The
    // rename replaces whatever stands at the name, a link included, and never
    // writes into a link's target (QSaveFile would).
    const QFileInfo info(path);
    QTemporaryFile file(info.absoluteDir().filePath(info.fileName() + QStringLiteral(".XXXXXX")));
    if (!file.open())
        return file.errorString();
    if (const std::optional<QString> failure = writeDurably(file, bytes))
        return failure;
    file.close();
    if (::rename(QFile::encodeName(file.fileName()).constData(),
                 QFile::encodeName(path).constData()) != 0)
        return qt_error_string(errno);
    file.setAutoRemove(false);
    return std::nullopt;
}

} // namespace keldar::inputdata
