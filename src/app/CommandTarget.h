#pragma once

// Something that takes part in command routing: the active table window, the main window and
// the application are asked in that order, and the first that handles an identifier gets it.
// Menu items and toolbar buttons whose command nobody on the route handles are greyed.
namespace app {

class CommandTarget {
public:
    virtual ~CommandTarget() = default;

    // Runs the command; false when this target does not handle it.
    virtual bool OnCommand(int id) = 0;
    // Whether OnCommand would run it.
    virtual bool HandlesCommand(int id) const = 0;
};

}  // namespace app
