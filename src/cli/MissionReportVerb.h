#pragma once
// "report --pdf": the mission report of one logger and period (reports/MissionReport.h).
#include "cli/Cli.h"

// Runs the form on the verb's arguments (--pdf already taken out). Exit status: 0 written,
// 1 the file could not be written, 2 bad input (options, no such logger, a period that starts
// after it ends); nothing is written then.
int RunMissionReportPdf(CliContext& ctx, QStringList& args);
