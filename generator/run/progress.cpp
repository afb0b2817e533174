#include "generator/run/progress.h"

#include <cmath>

#ifdef Q_OS_UNIX
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <io.h>
#endif

namespace keldar::generator {

namespace {

bool isTerminal(std::FILE *stream)
{
    if (!stream)
        return false;
#ifdef Q_OS_UNIX
    return ::isatty(::fileno(stream)) != 0;
#elif defined(Q_OS_WIN)
    return ::_isatty(::_fileno(stream)) != 0;
#else
    return false;
#endif
}

QString duration(double seconds)
{
    const auto whole = static_cast<qint64>(std::ceil(seconds));
    if (whole < 60)
        return QStringLiteral("%1 s").arg(whole);
    if (whole < 3600)
        return QStringLiteral("%1 min %2 s").arg(whole / 60).arg(whole % 60);
    return QStringLiteral("%1 h %2 min").arg(whole / 3600).arg(whole % 3600 / 60);
}

} // namespace

ProgressLine::ProgressLine(std::FILE *stream, qint64 total, const QString &unit)
    : stream_(stream), total_(total), unit_(unit), active_(isTerminal(stream))
{
    clock_.start();
}

ProgressLine::~ProgressLine()
{
    finish();
}

QString ProgressLine::text(qint64 done, qint64 total, double seconds, const QString &unit)
{
    QString line = QStringLiteral("%1 of %2 %3").arg(done).arg(total).arg(unit);
    if (done > 0 && seconds > 0) {
        const double rate = double(done) / seconds;
        line += unit == QLatin1String("files")
                    ? QStringLiteral(", %1 files/s").arg(rate, 0, 'f', rate < 10 ? 1 : 0)
                    : QStringLiteral(", %1 so far").arg(duration(seconds));
        line += QStringLiteral(", %1 left").arg(duration(double(total - done) / rate));
    }
    return line;
}

void ProgressLine::advance(qint64 done, const QString &detail)
{
    if (!active_ || done == lastDrawn_)
        return;
    const qint64 now = clock_.elapsed();
    static constexpr qint64 Interval = 200; // ms between redraws
    if (shown_ && done < total_ && now - drawnAt_ < Interval)
        return;
    drawnAt_ = now;
    lastDrawn_ = done;
    shown_ = true;
    // "\r" back to the line's start, ESC [K clears what a longer text left.
    std::fprintf(stream_, "\r%s\x1b[K",
                 (text(done, total_, double(now) / 1000, unit_) +
                  (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail))
                     .toLocal8Bit()
                     .constData());
    std::fflush(stream_);
}

void ProgressLine::interrupt()
{
    if (active_ && shown_) {
        std::fputs("\r\x1b[K", stream_);
        std::fflush(stream_);
        shown_ = false;
        lastDrawn_ = -1;
    }
}

void ProgressLine::finish()
{
    if (active_ && shown_) {
        std::fputc('\n', stream_);
        std::fflush(stream_);
    }
    shown_ = false;
    active_ = false;
}

} // namespace keldar::generator
