// Terminal verbs of the settings window: the site structure, database maintenance and the
// interface port, through the same classes the window uses.
#include "cli/Cli.h"

#include "app/TextRules.h"
#include "app/modMain.h"
#include "db/clsDatabase.h"
#include "settings/InterfacePort.h"
#include "settings/clsMaintenance.h"
#include "settings/clsStructureEditor.h"

#include <QDate>
#include <QDir>

namespace {

bool wholeNumber(const QString& text, qint64& value)
{
    bool ok = false;
    value = text.trimmed().toLongLong(&ok);
    return ok;
}

int usage(CliContext& ctx, const char* text)
{
    ctx.err << "usage: nordalis-cli " << text << "\n";
    return 2;
}

// Applies one property edit through the editor's rules; false (message printed) when refused.
bool edit(CliContext& ctx, clsStructureEditor& editor, const QString& node, const QString& row, const QString& text,
          QString* selected = nullptr)
{
    QString message, title, select;
    if (!editor.CanEdit(node, row, &message) ||
        editor.ApplyEdit(node, row, text, &message, &title, &select) != clsStructureEditor::EditAccepted) {
        ctx.err << "nordalis-cli: " << (message.isEmpty() ? QStringLiteral("this value can't be changed") : message)
                << "\n";
        return false;
    }
    if (selected)
        *selected = select;
    return true;
}

int save(CliContext& ctx, clsStructureEditor& editor)
{
    QString message;
    if (editor.Save(AppDatabase(), &message) != clsStructureEditor::SaveDone) {
        ctx.err << "nordalis-cli: " << message << "\n";
        return 1;
    }
    return 0;
}

// Texts from the database go to the terminal with their control characters written out, so
// that a stored escape sequence can neither steer the terminal nor break the columns.
void listStructure(CliContext& ctx, const clsStructureEditor& editor)
{
    ctx.out << "site\t" << editor.site.LocationID << "\t" << EscapeControlCharacters(editor.site.LocationDescription)
            << "\tread before " << editor.site.ReadBefore << " h\n";
    auto printLogger = [&](const DbRow& d, const char* kind) {
        const qint64 id = d.value("DeviceID").toInt();
        ctx.out << kind << "\t" << id << "\t" << EscapeControlCharacters(clsStructureEditor::DeviceText(d)) << "\t"
                << (d.value("MissionRunning").toBool() ? "running" : "stopped") << "\n";
    };
    for (const DbRow& room : editor.rooms) {
        const qint64 id = room.value("RoomID").toInt();
        ctx.out << "compartment\t" << id << "\t" << EscapeControlCharacters(room.value("RoomDescription").toString())
                << "\tsequence "
                << room.value("RoomSequence").toString() << "\n";
        for (qint64 deviceId : editor.LoggersOf(id))
            printLogger(editor.devices[size_t(editor.FindDevice(deviceId))], "  logger");
    }
    for (const DbRow& d : editor.devices)
        if (!editor.DeviceIsShown(d))
            printLogger(d, "logger without compartment");
}

int runStructure(CliContext& ctx)
{
    if (ctx.args.isEmpty())
        return usage(ctx, "structure list|add-compartment|set-compartment|delete-compartment|delete-logger|set-site ...");
    const QString action = ctx.args.takeFirst();
    clsStructureEditor editor;
    QString error;
    if (!editor.GenerateData(AppDatabase(), &error)) {
        ctx.err << "nordalis-cli: the database could not be read: " << error << "\n";
        return 1;
    }
    if (action == "list") {
        listStructure(ctx, editor);
        return 0;
    }
    if (action == "add-compartment") {
        QString description;
        const bool withDescription = TakeOption(ctx.args, "--description", description, &error);
        if (!error.isEmpty())
            return usage(ctx, "structure add-compartment [--description TEXT]");
        const qint64 id = editor.AddCompartment();
        if (id < 0) {
            ctx.err << "nordalis-cli: no free compartment number left\n";
            return 1;
        }
        if (withDescription && !edit(ctx, editor, clsStructureEditor::RoomKey(id), "RoomDescription", description))
            return 1;
        if (const int rc = save(ctx, editor))
            return rc;
        ctx.out << id << "\n";
        return 0;
    }
    if (action == "set-compartment") {
        qint64 id = 0;
        if (ctx.args.isEmpty() || !wholeNumber(ctx.args.takeFirst(), id))
            return usage(ctx, "structure set-compartment ID --description TEXT | --number N | --sequence N");
        if (editor.FindRoom(id) < 0) {
            ctx.err << "nordalis-cli: there is no compartment " << id << "\n";
            return 1;
        }
        QString description, number, sequence;
        const bool d = TakeOption(ctx.args, "--description", description, &error);
        const bool s = TakeOption(ctx.args, "--sequence", sequence, &error);
        const bool n = TakeOption(ctx.args, "--number", number, &error);
        if (!error.isEmpty() || !(d || s || n) || !ctx.args.isEmpty())
            return usage(ctx, "structure set-compartment ID --description TEXT | --number N | --sequence N");
        QString node = clsStructureEditor::RoomKey(id);
        if (d && !edit(ctx, editor, node, "RoomDescription", description))
            return 1;
        if (s && !edit(ctx, editor, node, "RoomSequence", sequence))
            return 1;
        if (n && !edit(ctx, editor, node, "RoomID", number, &node))
            return 1;
        return save(ctx, editor);
    }
    if (action == "delete-compartment" || action == "delete-logger") {
        qint64 id = 0;
        if (ctx.args.size() != 1 || !wholeNumber(ctx.args.first(), id))
            return usage(ctx, "structure delete-compartment ID | delete-logger DEVICEID");
        if (action == "delete-compartment") {
            if (editor.FindRoom(id) < 0) {
                ctx.err << "nordalis-cli: there is no compartment " << id << "\n";
                return 1;
            }
            if (!editor.DeleteCompartment(id)) {
                ctx.err << "nordalis-cli: compartment " << id << " holds loggers and can't be deleted\n";
                return 1;
            }
        } else if (!editor.DeleteLogger(id)) {
            ctx.err << "nordalis-cli: there is no logger " << id << "\n";
            return 1;
        }
        return save(ctx, editor);
    }
    if (action == "set-site") {
        QString description, hours;
        const bool d = TakeOption(ctx.args, "--description", description, &error);
        const bool h = TakeOption(ctx.args, "--read-before", hours, &error);
        if (!error.isEmpty() || !(d || h) || !ctx.args.isEmpty())
            return usage(ctx, "structure set-site [--description TEXT] [--read-before HOURS]");
        if (d && !edit(ctx, editor, clsStructureEditor::LocationKey(), "LocationDescription", description))
            return 1;
        if (h && !edit(ctx, editor, clsStructureEditor::LocationKey(), "ReadBefore", hours))
            return 1;
        return save(ctx, editor);
    }
    ctx.err << "nordalis-cli: unknown structure action " << action << "\n";
    return 2;
}

int runMaintain(CliContext& ctx)
{
    if (ctx.args.isEmpty())
        return usage(ctx, "maintain backup|reorganize [--repair]|portable|load-portable|purge --before YYYY-MM-DD [--yes]");
    const QString action = ctx.args.takeFirst();
    clsMaintenance maintenance(AppDatabase());
    maintenance.status = [&ctx](const QString& text) { ctx.out << text << "\n"; };
    bool ok = false;
    QString file;
    if (action == "backup") {
        ok = maintenance.Backup(&file);
    } else if (action == "reorganize") {
        const bool repair = TakeFlag(ctx.args, "--repair");
        ok = maintenance.Reorganize(repair);
        if (ok && repair)
            ctx.out << (maintenance.RepairFindings().isEmpty() ? QStringLiteral("check: ok")
                                                               : "check found: " + maintenance.RepairFindings())
                    << "\n";
    } else if (action == "portable") {
        ok = maintenance.CreatePortable();
        file = QDir(maintenance.MediaDirectory()).filePath("NORD.MDE");
    } else if (action == "load-portable") {
        ok = maintenance.LoadPortable();
        file = QDir(maintenance.DatabaseDirectory()).filePath("NORD.MDE");
    } else if (action == "purge") {
        QString text, error;
        if (!TakeOption(ctx.args, "--before", text, &error))
            return usage(ctx, "maintain purge --before YYYY-MM-DD [--yes]");
        const bool yes = TakeFlag(ctx.args, "--yes");
        if (!ctx.args.isEmpty())
            return usage(ctx, "maintain purge --before YYYY-MM-DD [--yes]");
        const QDate before = QDate::fromString(text, "yyyy-MM-dd");
        if (!before.isValid()) {
            ctx.err << "nordalis-cli: not a date: " << text << " (YYYY-MM-DD)\n";
            return 2;
        }
        ok = maintenance.Purge(before, yes);
        if (!ok && maintenance.PurgeRefusal() == clsMaintenance::RefusedDate) {
            ctx.err << "nordalis-cli: " << text << ": " << maintenance.ErrorText() << "\n";
            return 2;
        }
        if (!ok && maintenance.PurgeRefusal() == clsMaintenance::RefusedAllSamples) {
            ctx.err << "nordalis-cli: " << maintenance.ErrorText()
                    << "; give --yes to delete them (nothing was deleted)\n";
            return 2;
        }
    } else {
        ctx.err << "nordalis-cli: unknown maintain action " << action << "\n";
        return 2;
    }
    if (!ok) {
        ctx.err << "nordalis-cli: " << maintenance.ErrorNumber() << ":" << maintenance.ErrorText() << "\n";
        return 1;
    }
    if (!file.isEmpty())
        ctx.out << file << "\n";
    ctx.out << "done.\n";
    return 0;
}

int runPort(CliContext& ctx)
{
    if (ctx.args == QStringList{"list"}) {
        // The entries of the settings' port list: the serial ports, then the USB adapters.
        const clsInterfacePort ports;
        for (const QString& text : ports.EntryTexts())
            ctx.out << text << "\n";
        if (!ports.UsbProblem().isEmpty())
            ctx.err << "nordalis-cli: " << ports.UsbProblem() << "\n";
        return 0;
    }
    if (ctx.args.size() != 2 || ctx.args[0] != "set")
        return usage(ctx, "port list | port set N | port set USBn");
    InterfacePortEntry entry;
    QString error;
    if (!ParseInterfacePortName(ctx.args[1], &entry, &error)) {
        ctx.err << "nordalis-cli: " << error << "\n";
        return 2;
    }
    int result = 0;
    ctx.out << SelectInterfaceEntry(entry, &result) << "\n";
    return result == 0 ? 0 : 1;
}

} // namespace

CliVerb verbStructure("structure",
                      "structure list | add-compartment [--description TEXT] | set-compartment ID --description TEXT | "
                      "--number N | --sequence N | delete-compartment ID | delete-logger DEVICEID | set-site ...",
                      "show or change the site's compartments and loggers", &runStructure);
CliVerb verbMaintain("maintain", "maintain backup | reorganize [--repair] | portable | load-portable | purge --before DATE [--yes]",
                     "database backup, rebuild, portable copy and purge of old records", &runMaintain);
CliVerb verbPort("port", "port list | port set N | port set USBn",
                 "the 1-Wire interfaces to choose from, and the choice: serial port N or USB adapter n", &runPort);
