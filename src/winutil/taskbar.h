#pragma once

class QWidget;

// Keeps a top-level window out of the taskbar and the pager, as the program's dialogs are.
// Call once, after the window's flags are final and before it is first shown; it holds for
// every later showing.
void HideFromTaskbar(QWidget* window);
