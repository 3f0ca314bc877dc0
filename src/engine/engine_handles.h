#pragma once
// The objects the engine hands out through the automation interface: cheap
// handles that hold the root (engine_root.h) and the id of what they stand
// for, and look it up on every use. A handle keeps the application alive (the
// root is the application's, and a handle shares its ownership), never a
// workbook or sheet: those live until they are closed, and a handle to one
// that was closed raises error 424.

#include <memory>
#include <string>

#include "engine/engine_root.h"
#include "sheet/workbook.h"

namespace kbx::engine {

// What a handle to a sheet, or to something on a sheet, holds.
class SheetRef {
public:
    SheetRef(std::shared_ptr<EngineRoot> root, SheetId id) : root_(std::move(root)), id_(id) {}
    EngineWorksheet& sheet() const { return root_->worksheet(id_); }
    EngineRoot& root() const { return *root_; }
    SheetId id() const { return id_; }

private:
    std::shared_ptr<EngineRoot> root_;
    SheetId id_;
};

std::shared_ptr<sheet::Workbook> workbookHandle(std::shared_ptr<EngineRoot> root, BookId id);
std::shared_ptr<sheet::Worksheet> worksheetHandle(std::shared_ptr<EngineRoot> root, SheetId id);
// Cells(row, column) of a sheet; row 0 stands for the whole column.
std::shared_ptr<sheet::Range> rangeHandle(const SheetRef& sheet, int32_t row, int32_t column);
std::shared_ptr<sheet::Picture> pictureHandle(const SheetRef& sheet, uint32_t picture);

// The Pictures and Shapes collections of a sheet (engine_pictures.cpp).
class PicturesHandle final : public sheet::Pictures {
public:
    explicit PicturesHandle(const SheetRef& sheet) : sheet_(sheet) {}
    std::shared_ptr<sheet::Picture> Insert(const std::string& file) override;

private:
    const SheetRef& sheet_;
};

class ShapesHandle final : public sheet::Shapes {
public:
    explicit ShapesHandle(const SheetRef& sheet) : sheet_(sheet) {}
    std::shared_ptr<sheet::Picture> AddPicture(const std::string& file, bool linkToFile, bool saveWithDocument,
                                               double left, double top, double width, double height) override;

private:
    const SheetRef& sheet_;
};

class WorksheetHandle final : public sheet::Worksheet {
public:
    WorksheetHandle(std::shared_ptr<EngineRoot> root, SheetId id) : sheet_(std::move(root), id) {}
    // The collections refer to sheet_ of this very object.
    WorksheetHandle(const WorksheetHandle&) = delete;
    WorksheetHandle& operator=(const WorksheetHandle&) = delete;
    std::string Name() const override { return sheet_.sheet().name(); }
    void SetName(const std::string& name) override { sheet_.sheet().rename(name); }
    void Activate() override { sheet_.root().activate(sheet_.sheet()); }
    void Copy(sheet::Worksheet& before) override;
    void SetAutoFilterMode(bool on) override { sheet_.sheet().setAutoFilterMode(on); }
    std::shared_ptr<sheet::Range> Cells(int32_t row, int32_t column) override;
    std::shared_ptr<sheet::Range> Columns(int32_t column) override;
    std::shared_ptr<sheet::Range> UsedRange() override;
    sheet::Pictures& GetPictures() override;
    sheet::Shapes& GetShapes() override;

    EngineWorksheet& sheet() const { return sheet_.sheet(); }

private:
    SheetRef sheet_;
    PicturesHandle pictures_{sheet_};
    ShapesHandle shapes_{sheet_};
};

class WorkbookHandle final : public sheet::Workbook, public sheet::Sheets {
public:
    WorkbookHandle(std::shared_ptr<EngineRoot> root, BookId id) : root_(std::move(root)), id_(id) {}

    // sheet::Workbook
    sheet::Sheets& GetSheets() override { return *this; }
    std::shared_ptr<sheet::Worksheet> ActiveSheet() override;
    std::string FullName() const override { return book().fullName(); }
    void Save() override { book().save(); }
    void SaveAs(const std::string& file, std::optional<int32_t> fileFormat) override { book().saveAs(file, fileFormat); }
    void SaveCopyAs(const std::string& file) override { book().saveCopyAs(file); }
    void Close(bool saveChanges) override { root_->close(id_, saveChanges); }

    // sheet::Sheets
    int32_t Count() const override { return static_cast<int32_t>(book().sheetCount()); }
    std::shared_ptr<sheet::Worksheet> Item(int32_t index) override;
    std::shared_ptr<sheet::Worksheet> Item(const std::string& name) override;

private:
    EngineWorkbook& book() const { return root_->workbook(id_); }

    std::shared_ptr<EngineRoot> root_;
    BookId id_;
};

}  // namespace kbx::engine
