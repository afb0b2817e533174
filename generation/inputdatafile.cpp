#include "generation/inputdatafile.h"

#include "params/numbers.h"

#include <QSaveFile>
#include <QStringEncoder>

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

std::optional<QString> save(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

} // namespace keldar::inputdata
