// Terminal verbs of the application frame: installing a site, reading and writing parameters,
// and the due list.
#include "cli/Cli.h"

#include "reading/DueList.h"
#include "app/TextRules.h"
#include "app/modMain.h"
#include "db/clsDatabase.h"
#include "display/Evidence.h"

namespace {

// A site number: digits only, 1 to 9999.
bool parseSiteNumber(const QString& text, int& site)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 4) return false;
    for (QChar c : t)
        if (!c.isDigit()) return false;
    site = t.toInt();
    return site >= 1 && site <= 9999;
}

int runInit(CliContext& ctx)
{
    QStringList args = ctx.args;
    QString site, description, error;
    const bool hasSite = TakeOption(args, "--site", site, &error);
    const bool hasDescription = TakeOption(args, "--description", description, &error);
    if (!error.isEmpty()) { ctx.err << "nordalis-cli init: " << error << "\n"; return 2; }
    if (!hasSite) { ctx.err << "nordalis-cli init: --site N is required\n"; return 2; }
    if (!args.isEmpty()) { ctx.err << "nordalis-cli init: unexpected argument " << args.first() << "\n"; return 2; }
    int number = 0;
    if (!parseSiteNumber(site, number)) {
        ctx.err << "nordalis-cli init: the site number must be a whole number from 1 to 9999\n";
        return 2;
    }
    if (hasDescription) {
        const QString problem = CheckDescription(description, true);
        if (!problem.isEmpty()) {
            ctx.err << "nordalis-cli init: --description: " << problem << "\n";
            return 2;
        }
    }
    // The site number is part of every stored logger identifier: once set it stays.
    const int current = App().LocationID;
    if (current >= 1 && current <= 9999 && current != number) {
        ctx.err << "nordalis-cli init: this installation already has site number " << current
                << ", which can't be changed after installation\n";
        return 1;
    }
    clsDatabase& db = AppDatabase();
    try {
        if (current != number) db.SetParameter("LocationID", DbValue(number));
        if (hasDescription) db.SetParameter("LocationDescr", DbValue(description));
    } catch (const DbError& e) {
        ctx.err << "nordalis-cli init: " << e.number << ":" << e.description << "\n";
        return 1;
    }
    App().LocationID = number;
    ctx.out << "site " << number << " in " << App().ApplicationDirectory << "\n";
    return 0;
}

int runParam(CliContext& ctx)
{
    QStringList args = ctx.args;
    if (args.isEmpty()) { ctx.err << "nordalis-cli param: get NAME [DEFAULT] or set NAME VALUE\n"; return 2; }
    const QString sub = args.takeFirst();
    clsDatabase& db = AppDatabase();
    try {
        if (sub == "get") {
            if (args.size() < 1 || args.size() > 2) { ctx.err << "nordalis-cli param get NAME [DEFAULT]\n"; return 2; }
            ctx.out << db.Parameter(args[0], args.size() > 1 ? args[1] : QString()) << "\n";
            return 0;
        }
        if (sub == "set") {
            if (args.size() != 2) { ctx.err << "nordalis-cli param set NAME VALUE\n"; return 2; }
            if (args[0].trimmed().isEmpty()) { ctx.err << "nordalis-cli param set: empty name\n"; return 2; }
            if (args[0].compare("LocationID", Qt::CaseInsensitive) == 0) {
                int number = 0;
                if (!parseSiteNumber(args[1], number)) {
                    ctx.err << "nordalis-cli param set: the site number must be a whole number from 1 to 9999\n";
                    return 2;
                }
                const int current = App().LocationID;
                if (current >= 1 && current <= 9999 && current != number) {
                    ctx.err << "nordalis-cli param set: the site number can't be changed after installation\n";
                    return 1;
                }
            }
            // The site description is the text the structure editor keeps: the same rule.
            if (args[0].compare("LocationDescr", Qt::CaseInsensitive) == 0) {
                const QString problem = CheckDescription(args[1], true);
                if (!problem.isEmpty()) {
                    ctx.err << "nordalis-cli param set: " << problem << "\n";
                    return 2;
                }
            }
            if (args[0].compare(kMktActivationParameter, Qt::CaseInsensitive) == 0) {
                double k = 0;
                if (!IsValidMktActivationK(args[1], &k)) {
                    ctx.err << "nordalis-cli param set: the activation energy dH/R must be a number of kelvin from 1000 to 100000\n";
                    return 2;
                }
                StoreMktActivationK(db, k);
                return 0;
            }
            db.SetParameter(args[0], DbValue(args[1]));
            return 0;
        }
    } catch (const DbError& e) {
        ctx.err << "nordalis-cli param: " << e.number << ":" << e.description << "\n";
        return 1;
    }
    ctx.err << "nordalis-cli param: unknown sub-command " << sub << "\n";
    return 2;
}

int runDue(CliContext& ctx)
{
    QStringList args = ctx.args;
    const bool dueOnly = TakeFlag(args, "--due-only");
    if (!args.isEmpty()) { ctx.err << "nordalis-cli due: unexpected argument " << args.first() << "\n"; return 2; }
    QString error;
    const std::vector<DueListRow> rows = QueryDueList(dueOnly, &error);
    if (!error.isEmpty()) {
        ctx.err << "nordalis-cli due: " << error << "\n";
        return 1;
    }
    for (const DueListRow& row : rows) {
        QStringList cells = row.columns;
        cells[0] = cells[0].trimmed();
        ctx.out << cells.join('\t') << "\n";
    }
    return 0;
}

CliVerb verbInit("init", "init --site N [--description TEXT]", "install the application directory and set the site number", &runInit);
CliVerb verbParam("param", "param get NAME [DEFAULT] | param set NAME VALUE", "read or write a setting of table parameters", &runParam);
CliVerb verbDue("due", "due [--due-only]", "running loggers with their reading schedule (tab-separated)", &runDue);

} // namespace
