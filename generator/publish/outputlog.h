#pragma once

#include <QString>
#include <QTextStream>

namespace keldar::generator {

// output.log: appended to, every line written at once so a long batch shows
// its progress, control characters escaped.  It belongs in the target folder, created when missing;
// when the folder or its log cannot be used, or its disk fills up, the fallback folder's log stands
// in and says which folder was meant.  A log that is a link or no plain file is never written
// through. Whether the log may create its target folder, or only use one that is there.
enum class FolderUse { Create, Existing };

class OutputLog
{
public:
    OutputLog(const QString &folder, const QString &fallbackDir, QTextStream *errors,
              FolderUse use = FolderUse::Create);
    ~OutputLog();
    OutputLog(const OutputLog &) = delete;
    OutputLog &operator=(const OutputLog &) = delete;

    bool folderReady() const { return folderReady_; }
    // Why the target folder cannot be used, when it cannot.
    QString folderProblem() const { return folderProblem_; }

    // The section's opening lines: a heading, then why this log stands in
    // for the target folder's, when it does.  A batch id, when given, marks
    // every later line, so that concurrent batches can be told apart, the
    // heading names the host, and this host's batches of the log that never
    // finished are noted.
    void open(const QString &heading, const QString &batchId = QString());

    void line(const QString &text);
    void error(const QString &text);

private:
    bool openIn(const QString &dir, QString &why);
    void write(const QString &text, bool marked);
    void fallBack(const QString &why);

    QTextStream *errors_;
    QString fallbackDir_;
    QString writtenIn_; // folder of the log in use
    QString path_;
    QString batchId_;
    QString heading_;
    QString standIn_;
    QString folderProblem_;
    int fd_ = -1;
    bool folderReady_ = false;
    bool fellBack_ = false;
    bool standInIsError_ = false;
    bool headingWritten_ = false;
};

} // namespace keldar::generator
