// Terminal verbs of the logger-file processing: importing the waiting logger files and writing
// the job files of the reading schedule, through the classes the read-logger window uses.
#include "cli/Cli.h"

#include "app/modMain.h"
#include "app/RegularFile.h"
#include "db/clsDatabase.h"
#include "reading/JobFiles.h"
#include "reading/LoggerImageToDatabase.h"

#include <QDir>
#include <QFileInfo>

namespace {

const char* outcomeText(LoggerImageToDatabase::Outcome o)
{
    switch (o) {
    case LoggerImageToDatabase::Stored: return "stored";
    case LoggerImageToDatabase::Rejected: return "rejected";
    case LoggerImageToDatabase::MoveFailed: return "not moved";
    case LoggerImageToDatabase::Waiting: return "waiting";
    case LoggerImageToDatabase::ImportedElsewhere: return "already imported";
    }
    return "";
}

int runImport(CliContext& ctx)
{
    QStringList args = ctx.args;
    if (args.size() > 1) {
        ctx.err << "usage: nordalis-cli import [NAME]\n";
        return 2;
    }
    const QString name = args.isEmpty() ? QString() : args.first();
    if (!name.isEmpty()) {
        // One file of the data directory, named without a folder.
        const QString path = QDir(App().DataDirectory).filePath(name);
        const QString kind = name.contains('/') ? QString() : NonRegularFileKind(path);
        if (!kind.isEmpty()) {
            ctx.err << "nordalis-cli import: " << path << " is not a regular file but " << kind << "\n";
            return 2;
        }
        if (name.length() <= 3 || name.contains('/') || !QFileInfo(path).isFile()) {
            ctx.err << "nordalis-cli import: no logger file " << name << " in " << App().DataDirectory << "\n";
            return 2;
        }
    }
    LoggerImageToDatabase import(AppDatabase(), App().DataDirectory, App().BackupDirectory);
    int failed = 0;
    import.FileDone = [&](const LoggerImageToDatabase::FileResult& r) {
        ctx.out << r.name << "\t" << outcomeText(r.outcome);
        if (!r.movedTo.isEmpty()) ctx.out << "\t" << QDir::toNativeSeparators(r.movedTo);
        if (!r.reason.isEmpty()) ctx.out << "\t" << r.reason;
        ctx.out << "\n";
        if (!r.note.isEmpty()) ctx.out << r.name << "\tcompanion refused\t" << r.note << "\n";
        if (r.outcome != LoggerImageToDatabase::Stored && r.outcome != LoggerImageToDatabase::ImportedElsewhere) ++failed;
    };
    const auto results = import.Run(name);
    if (results.empty()) ctx.out << "all logger files processed\n";
    ctx.out.flush();
    return failed ? 1 : 0;
}

int runJoblist(CliContext& ctx)
{
    QStringList args = ctx.args;
    const bool dueOnly = TakeFlag(args, "--due-only");
    if (!args.isEmpty()) {
        ctx.err << "usage: nordalis-cli joblist [--due-only]\n";
        return 2;
    }
    QString error;
    const QStringList written = GenerateJoblist(dueOnly, &error);
    for (const QString& path : written) ctx.out << QDir::toNativeSeparators(path) << "\n";
    ctx.out.flush();
    if (!error.isEmpty()) {
        ctx.err << "nordalis-cli joblist: " << error << "\n";
        return 1;
    }
    return 0;
}

} // namespace

CliVerb verbImport("import", "import [NAME]",
                   "store the waiting logger files of the data directory and move them to the backup folder",
                   &runImport);
CliVerb verbJoblist("joblist", "joblist [--due-only]",
                    "write a job file <serial>r.ndc per running logger into the data directory", &runJoblist);
