#pragma once

#include <QString>

namespace keldar::generator {

// A run's hold on one instance while it solves it, so that a run beside it
// on the same folder, or on another host sharing the disk, passes it over:
// a hidden file naming the host, the process, the process's start and the
// time it was taken, held under an exclusive lock for as long as the run
// has it.  The lock, which ends with its process, tells a live claim from a
// dead one, so a claim is never judged by what a run that just made it has
// not yet written.
class Claim
{
public:
    enum class Taken {
        Held,      // this run holds it
        Elsewhere, // a live run holds it; held() says which
        Blocked,   // something that is no claim of ours stands in its place
        NoWrite,   // the folder cannot be written; why() says why
    };

    Claim(const QString &folder, const QString &name, const QString &label);
    ~Claim();
    Claim(const Claim &) = delete;
    Claim &operator=(const Claim &) = delete;

    Taken take();
    // A claim a dead run left behind an instance it had finished.
    void clearStale();

    // One line: the claim's file, who holds it and since when, and how to
    // release it; or why the folder cannot be written.
    QString why() const { return why_; }

private:
    enum class Opened { Locked, Busy, Gone, NotAClaim, NoWrite };
    Opened openLocked(bool create);
    QByteArray holder() const;
    bool writeOwner();
    void release();
    QString named(const QByteArray &owner) const;

    QString path_;
    QString why_;
    int fd_ = -1;
    bool held_ = false;
};

} // namespace keldar::generator
