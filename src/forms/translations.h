#pragma once

// Has the toolkit's own texts (the buttons of message boxes, the font and colour dialogs)
// speak Chinese like the rest of the program, whatever the desktop's language. Call once,
// after the application object exists. False when no Chinese translation is installed.
bool installToolkitTranslations();
