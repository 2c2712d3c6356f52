#pragma once

// Ending and restarting the running program, for windows that must not depend on the
// application that owns them.
class ProgramControl {
public:
    virtual ~ProgramControl() = default;

    // Starts the same program again, detached, after letting go of what would make the new
    // instance hand over to this one; this process should end right after. False when the
    // new process could not be started.
    virtual bool restart() = 0;
    // Ends the process as the tray's "退出(&E)" does: no other window is unloaded.
    virtual void exit() = 0;
};
