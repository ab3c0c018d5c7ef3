#pragma once

// Answers which command groups are possible in a table window right now; the main window greys
// the items of the Edit, Field and Record menus by it when one of them opens. Groups: 0 sort,
// 1 add record, 2 delete record, 3 find, 4 copy, 5 cut, 6 paste; any other number is false.
namespace app {

class CommandStateSource {
public:
    virtual ~CommandStateSource() = default;

    virtual bool CanDoCommand(int nWhich) = 0;
};

}  // namespace app
