#pragma once

// The program's thirteen windows, Form1 to Form13. User-interface thread only.

#include <QIcon>

// Creates the windows in their fixed order. An exception that leaves a
// creation handler is shown by the error display and creation goes on.
void CreateWindowSet();

// Destroys the windows, the last created first, and clears the references.
void DestroyWindowSet();

// The program's icon, for its windows and tray icons.
QIcon ProgramIcon();
