// The terminal verb "verify": proves the stored samples against the logger files of the backup
// folder, logger by logger, and checks the audit trail's chain (db/AuditVerify.h). Writes
// nothing. Exit status 0 when everything holds, 1 when anything differs, 2 on bad usage.
#include "cli/Cli.h"

#include "app/modMain.h"
#include "db/AuditVerify.h"
#include "db/clsDatabase.h"

#include <QDir>
#include <QFileInfo>

namespace {

int runVerify(CliContext& ctx)
{
    QStringList args = ctx.args;
    QString backup = App().BackupDirectory;
    QString error;
    if (TakeOption(args, QStringLiteral("--backup"), backup, &error) && backup.isEmpty()) error = "--backup needs a folder";
    if (!error.isEmpty() || !args.isEmpty()) {
        if (!error.isEmpty()) ctx.err << "nordalis-cli verify: " << error << "\n";
        ctx.err << "usage: nordalis-cli verify [--backup DIR]\n";
        return 2;
    }
    if (!QFileInfo(backup).isDir()) {
        ctx.err << "nordalis-cli verify: the backup folder " << QDir::toNativeSeparators(backup) << " does not exist\n";
        return 2;
    }
    Verification v;
    try {
        v = VerifyAgainstLoggerFiles(AppDatabase(), backup);
    } catch (const DbError& e) {
        ctx.err << "nordalis-cli verify: " << e.number << ":" << e.description << "\n";
        return 1;
    }
    int differing = 0;
    qint64 samples = 0;
    for (const LoggerVerification& l : v.loggers) {
        samples += l.samples;
        ctx.out << "logger " << l.serialNo << " (" << l.deviceId << "): " << (l.differences.isEmpty() ? "ok" : "differs")
                << " - " << l.files << " file(s), " << l.samples << " sample(s)";
        if (!l.note.isEmpty()) ctx.out << ", " << l.note;
        ctx.out << "\n";
        for (const QString& d : l.differences) ctx.out << "  " << d << "\n";
        if (!l.differences.isEmpty()) ++differing;
    }
    for (const QString& p : v.fileProblems) ctx.out << "file " << p << "\n";
    if (v.purgedBefore > 0)
        ctx.out << "samples before " << FromEpochSeconds(v.purgedBefore).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                << " UTC were purged and are not compared\n";
    if (v.chainProblems.isEmpty())
        ctx.out << "audit chain: ok\n";
    else
        for (const QString& p : v.chainProblems) ctx.out << p << "\n";
    ctx.out << (v.holds() ? "verified: " : "NOT verified: ") << v.loggers.size() << " logger(s), " << differing
            << " differ(s), " << samples << " sample(s) compared, " << v.fileProblems.size() << " unreadable file(s), audit chain "
            << (v.chainProblems.isEmpty() ? "unbroken" : "broken") << "\n";
    ctx.out.flush();
    return v.holds() ? 0 : 1;
}

} // namespace

CliVerb verbVerify("verify", "verify [--backup DIR]",
                   "prove the stored samples against the logger files of the backup folder and check the audit trail",
                   &runVerify);
