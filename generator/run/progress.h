#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdio>

namespace keldar::generator {

// One line on a terminal, rewritten in place: files (or other units) done,
// total, rate, time so far and left, and a detail such as counts so far.  Silent when the stream is
// no terminal, so logs and pipes never receive it.
class ProgressLine
{
public:
    explicit ProgressLine(std::FILE *stream, qint64 total,
                          const QString &unit = QStringLiteral("files"));
    ~ProgressLine();
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    // At most a few redraws a second, however fast files come.
    void advance(qint64 done, const QString &detail = QString());
    void finish();
    // Clears the line so that a message can take it; the next advance redraws.
    void interrupt();

    // The text shown for `done` of `total` after `seconds`.
    static QString text(qint64 done, qint64 total, double seconds,
                        const QString &unit = QStringLiteral("files"));

private:
    std::FILE *stream_;
    qint64 total_;
    QString unit_;
    bool shown_ = false;
    bool active_;
    qint64 lastDrawn_ = -1;
    qint64 drawnAt_ = 0;
    QElapsedTimer clock_;
};

} // namespace keldar::generator
