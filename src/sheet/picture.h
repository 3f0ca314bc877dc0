#pragma once
// A picture in a sheet: what Pictures.Insert and Shapes.AddPicture return.

#include "sheet/selection.h"

namespace kbx::sheet {

class Picture : public Selection {
public:
    // Position and size in points from the sheet's top-left corner.
    virtual double Top() const = 0;
    virtual double Left() const = 0;
    virtual double Width() const = 0;
    virtual double Height() const = 0;
    virtual void SetTop(double points) = 0;
    virtual void SetLeft(double points) = 0;
    // Makes this picture the application's Selection.
    virtual void Select() = 0;
    virtual int32_t Placement() const = 0;
};

}  // namespace kbx::sheet
