#pragma once
// The terminal program: global options, then a verb with its own arguments.
// Each verb lives in a file of its own in this folder and registers itself:
//   static CliVerb verbDump("dump", "dump FILE", "show a logger file decoded", &runDump);
#include "app/OutputFile.h"
#include <QString>
#include <QStringList>
#include <QTextStream>

struct CliGlobals {
    QString home;        // --home DIR
    QString bus;         // --bus virtual|serial|usb
    QString traceBus;    // --trace-bus [FILE]: "-" for stderr
    QString registry;    // --registry FILE
    bool traceBusOn = false;
};

struct CliContext {
    CliGlobals globals;
    QStringList args;    // the verb's arguments (verb itself not included)
    QTextStream& out;
    QTextStream& err;
};

using CliVerbFn = int (*)(CliContext& ctx);

struct CliVerb {
    // needsApp: the application directory is installed/opened before the verb runs.
    CliVerb(const char* name, const char* usage, const char* help, CliVerbFn fn, bool needsApp = true);
};

// Small helpers for verbs
// Takes "--name VALUE" out of args; returns false when absent. Sets *error on a missing value.
bool TakeOption(QStringList& args, const QString& name, QString& value, QString* error = nullptr);
bool TakeFlag(QStringList& args, const QString& name);
// The file a verb is asked to write, through the one output check (app/OutputFile.h): true when
// it may be written, else false with "VERB: reason" on the error stream (the verb ends with 2).
bool OutputFileAllowed(CliContext& ctx, const QString& path, OutputKind kind, const QString& verb);

// Prepares the application state for a terminal run (directories, database, settings) without
// windows or questions. Implemented by the start-up module.
bool InitTerminalApplication(const CliGlobals& globals, QTextStream& err);
