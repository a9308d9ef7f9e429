// Start-up of a terminal run (placeholder until the start-up module is complete).
#include "cli/Cli.h"

bool InitTerminalApplication(const CliGlobals&, QTextStream&)
{
    return true;
}
