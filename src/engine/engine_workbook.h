#pragma once
// One open workbook: its package with the parts the engine keeps parsed (the
// workbook part, styles, shared strings) and its sheets in tab order.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/engine_worksheet.h"
#include "ooxml/package.h"
#include "ooxml/shared_strings.h"
#include "ooxml/styles.h"
#include "ooxml/workbook_part.h"

namespace kbx::engine {

class EngineApplication;

// A workbook's id: stable while it is open, never given to another workbook
// of the same application.
using BookId = uint32_t;

class EngineWorkbook {
public:
    // Reads a workbook package; `fullName` is what FullName reports.
    EngineWorkbook(EngineApplication& app, BookId id, const std::string& path, const std::string& fullName,
                   bool readOnly, int32_t fileFormat);
    // A new workbook with one empty sheet.
    EngineWorkbook(EngineApplication& app, BookId id);
    ~EngineWorkbook();
    EngineWorkbook(const EngineWorkbook&) = delete;
    EngineWorkbook& operator=(const EngineWorkbook&) = delete;

    BookId id() const { return id_; }
    EngineApplication& application() const { return app_; }
    const std::string& fullName() const { return fullName_; }

    // Saving (engine_workbook_save.cpp).
    void save();
    void saveAs(const std::string& file, std::optional<int32_t> fileFormat);
    void saveCopyAs(const std::string& file);

    // Sheets in tab order, from 0.
    size_t sheetCount() const { return sheets_.size(); }
    EngineWorksheet& sheetAt(size_t position) const { return *sheets_.at(position); }
    size_t positionOf(const EngineWorksheet& sheet) const;
    // The sheet of that name, compared without regard to case, or nullptr.
    EngineWorksheet* sheetNamed(const std::string& name) const;
    size_t activeSheetPosition() const { return activePosition_; }
    void setActiveSheet(size_t position);
    // Adds a worksheet at a tab position with the given model; the model's
    // part name is chosen here. Returns the new sheet.
    EngineWorksheet& insertSheet(size_t position, const std::string& name, std::unique_ptr<ooxml::SheetModel> model);
    // Renames a sheet in the workbook part, defined names, cell formulas,
    // chart series and pivot cache sources.
    void renameSheet(EngineWorksheet& sheet, const std::string& newName);

    ooxml::Package& package() { return *package_; }
    ooxml::WorkbookPart& workbookPart() { return workbookPart_; }
    ooxml::StyleSheet& styles() { return styles_; }
    ooxml::SharedStrings& strings() { return strings_; }
    bool date1904() const { return date1904_; }
    // Asks readers to recalculate every formula on load when saved.
    void requestFullCalculation() { fullCalculation_ = true; }

    // Sheet models live expanded while they are in use: this serialises and
    // frees all but the few used last, never `keep` or `keepToo`. Called
    // where no model reference is held (before a sheet copy).
    void releaseIdleModels(const EngineWorksheet& keep, const EngineWorksheet& keepToo);
    // For EngineWorksheet: its use stamp, and a model read back in.
    uint64_t& useClock() { return useClock_; }
    void noteModelLoaded(EngineWorksheet& sheet) { loadedModels_.push_back(&sheet); }

private:
    void load();
    void loadParts();
    void loadSheets();
    void repairLinks();
    void addSheet(size_t position, const std::string& name, std::unique_ptr<ooxml::SheetModel> model);
    std::string partOfKind(const ooxml::Relationships& rels, std::string_view kind) const;
    void writePackageParts();
    void writeText(const std::string& path);
    bool holdsMacros() const;
    void setMainPartMacros(bool keep);
    void saveTo(const std::string& path, int32_t format);

    EngineApplication& app_;
    BookId id_;
    std::unique_ptr<ooxml::Package> package_;
    std::string fullName_;
    bool readOnly_ = false;
    int32_t fileFormat_ = 51;
    ooxml::WorkbookPart workbookPart_;
    bool fullCalculation_ = false;
    ooxml::StyleSheet styles_;
    ooxml::SharedStrings strings_;
    std::vector<std::unique_ptr<EngineWorksheet>> sheets_;
    size_t activePosition_ = 0;
    bool date1904_ = false;
    double maxDigitWidth_ = 7;
    // Kept in step with sheets_, so that adding a sheet costs the same
    // however many there are: the sheets by lower-case name, the sheets whose
    // view is selected, the sheets whose model is expanded.
    std::unordered_map<std::string, EngineWorksheet*> sheetsByName_;
    std::vector<EngineWorksheet*> selectedSheets_;
    std::vector<EngineWorksheet*> loadedModels_;
    uint64_t useClock_ = 0;
};

}  // namespace kbx::engine
