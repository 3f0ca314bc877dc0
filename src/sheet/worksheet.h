#pragma once
// A sheet of a workbook and its picture collections.

#include <memory>
#include <string>

#include "sheet/picture.h"
#include "sheet/range.h"

namespace kbx::sheet {

class Pictures {
public:
    virtual ~Pictures() = default;
    // Inserts the picture file at the selected cell's top-left corner at its
    // natural size. A file that is not a picture raises a run-time error.
    virtual std::shared_ptr<Picture> Insert(const std::string& file) = 0;
};

class Shapes {
public:
    virtual ~Shapes() = default;
    // Adds a picture from a file at the given place and size (points).
    // Linked pictures are not supported: linkToFile must be False.
    virtual std::shared_ptr<Picture> AddPicture(const std::string& file, bool linkToFile, bool saveWithDocument,
                                                double left, double top, double width, double height) = 0;
};

class Worksheet {
public:
    virtual ~Worksheet() = default;

    // Name: at most 31 characters, none of []:*?/\, not blank, unique in
    // the workbook without regard to case; otherwise error 1004.
    virtual std::string Name() const = 0;
    virtual void SetName(const std::string& name) = 0;
    // Makes the sheet the workbook's active sheet.
    virtual void Activate() = 0;
    // Copies the sheet before `before`; the copy becomes the active sheet.
    virtual void Copy(Worksheet& before) = 0;
    virtual void SetAutoFilterMode(bool on) = 0;

    // Cells(row, column), both from 1; beyond 1,048,576 x 16,384 raises 1004.
    virtual std::shared_ptr<Range> Cells(int32_t row, int32_t column) = 0;
    // Columns(column): the whole column.
    virtual std::shared_ptr<Range> Columns(int32_t column) = 0;
    virtual std::shared_ptr<Range> UsedRange() = 0;

    virtual Pictures& GetPictures() = 0;
    virtual Shapes& GetShapes() = 0;
};

}  // namespace kbx::sheet
