#pragma once
// The data display's export commands in its window: the tab "Reports" and "&Print".
#include "display/frmChart.h"

class QWidget;
struct ChartState;

// The commands of the data display's tab "Reports" and of "&Print"; the desktop program installs
// them with SetChartExportHandlers.
ChartExportHandlers DefaultChartExportHandlers();

// "&Print": the printer dialog, then the graph on the printer chosen. False when cancelled or
// when the printer could not be opened.
bool PrintChart(ChartState& state, QWidget* owner);
