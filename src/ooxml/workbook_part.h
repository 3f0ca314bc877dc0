#pragma once
// The workbook part (xl/workbook.xml): the sheets in tab order, the defined
// names, the views with the active tab, and the calculation properties.

#include <pugixml.hpp>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ooxml/link_repair.h"

namespace kbx::ooxml {

class Package;

class WorkbookPart {
public:
    // Reads the part `partName` of the package file `file`.
    void load(const std::string& text, const std::string& file, const std::string& partName);
    // The part of a new workbook: one sheet "Sheet1", linked by `relationshipId`.
    void createNew(const std::string& partName, const std::string& relationshipId);
    const std::string& partName() const { return partName_; }

    struct SheetEntry {
        std::string name;
        std::string relationshipId;
    };
    // The sheets in tab order.
    std::vector<SheetEntry> sheets() const;
    // Adds a sheet at a tab position (from 0) with a sheet id of its own;
    // sheet-local names keep pointing at the sheets they did.
    void insertSheet(size_t position, const std::string& name, const std::string& relationshipId);
    // Renames the sheet at a tab position; the defined names that refer to it
    // follow (the same rewrite as cell formulas, see sheet_references.h).
    void renameSheet(size_t position, const std::string& oldName, const std::string& newName);

    // The active tab of the first workbook view (from 0), and setting it.
    size_t activeTab() const;
    void setActiveTab(size_t position);

    // The defined names, lower-case.
    std::set<std::string> definedNames() const;
    struct DefinedName {
        std::string name;
        std::optional<size_t> localSheet;  // tab position of the sheet it is local to
        std::string text;                   // the formula it stands for
    };
    std::vector<DefinedName> definedNameEntries() const;
    // Removes the AutoFilter range name (_xlnm._FilterDatabase) of a sheet.
    void removeFilterDatabaseName(size_t sheetPosition);
    // Gives every name local to the sheet at `sourcePosition` a twin local to
    // its copy at `copyPosition` that refers to the copy.
    void addLocalNamesForSheetCopy(size_t sourcePosition, size_t copyPosition, const std::string& sourceName,
                                   const std::string& copyName);

    // Whether dates count from 1904 (workbookPr date1904).
    bool date1904() const;
    // Asks readers to recalculate every formula on load (calcPr fullCalcOnLoad),
    // or no longer does.
    void setFullCalcOnLoad(bool on);
    // Iterative calculation as calcPr sets it (iterate, iterateCount, iterateDelta).
    struct Iteration {
        bool enabled = false;
        int32_t maxCount = 100;
        double maxChange = 0.001;
    };
    Iteration iteration() const;

    // Drops the part's links to missing parts (see link_repair.h).
    std::vector<DroppedLink> dropDanglingLinks(Package& package);

    bool dirty() const { return dirty_; }
    void markDirty() { dirty_ = true; }
    std::string serialize() const;

private:
    void indexSheets();
    pugi::xml_node root() const { return doc_.document_element(); }

    pugi::xml_document doc_;
    std::string partName_;
    bool dirty_ = false;
    // The <sheet> elements in tab order and the highest sheet id, kept in
    // step so that adding a sheet costs the same however many there are.
    std::vector<pugi::xml_node> sheetNodes_;
    unsigned maxSheetId_ = 0;
};

}  // namespace kbx::ooxml
