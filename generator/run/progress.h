#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdio>

namespace keldar::generator {

// One line on a terminal, rewritten in place: files done, total, rate and
// time left.  Silent when the stream is no terminal, so logs and pipes never
// receive it.
class ProgressLine
{
public:
    explicit ProgressLine(std::FILE *stream, qint64 total);
    ~ProgressLine();
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    // At most a few redraws a second, however fast files come.
    void advance(qint64 done);
    void finish();
    // Clears the line so that a message can take it; the next advance redraws.
    void interrupt();

    // The text shown for `done` of `total` after `seconds`.
    static QString text(qint64 done, qint64 total, double seconds);

private:
    std::FILE *stream_;
    qint64 total_;
    bool shown_ = false;
    bool active_;
    qint64 lastDrawn_ = -1;
    qint64 drawnAt_ = 0;
    QElapsedTimer clock_;
};

} // namespace keldar::generator
