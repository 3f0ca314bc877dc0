#pragma once
// Whatever can be selected in a sheet and reached through the application's
// Selection: a range or a picture.

#include <cstdint>

namespace kbx::sheet {

class Selection {
public:
    virtual ~Selection() = default;
    // Removes the selected object from the sheet (a picture is deleted).
    virtual void Cut() = 0;
    // Placement of a picture: 1 moves and sizes with its cell, 2 moves only, 3 free.
    virtual void SetPlacement(int32_t placement) = 0;
};

}  // namespace kbx::sheet
