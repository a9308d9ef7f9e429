#pragma once
// The desktop program's part of start-up: its widgets as the user interface, the splash and
// the main menu as the windows of start-up, and the links between the working windows.
void InstallDesktop();
