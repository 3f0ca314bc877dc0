// An open workbook: reading its package, its sheets in tab order, the active
// sheet, renaming and adding sheets.

#include <algorithm>

#include "engine/engine_calculation.h"
#include "engine/engine_document.h"
#include "log/write_log.h"
#include "ooxml/content_types.h"
#include "ooxml/link_repair.h"
#include "ooxml/part_names.h"
#include "ooxml/sheet_references.h"
#include "ooxml/theme.h"
#include "ooxml/xml_util.h"
#include "sheet/workbook.h"
#include "value/runtime_error.h"
#include "value/text_case.h"

namespace kbx::engine {

namespace {

void logDroppedLinks(const ooxml::Package& package, const std::vector<ooxml::DroppedLink>& links) {
    for (const ooxml::DroppedLink& link : links) {
        try {
            WriteLog("In '" + package.fileName() + "', the link '" + link.id + "' of '" +
                     (link.part.empty() ? "/" : link.part) + "' to the missing part '" + link.missingTarget +
                     "' was dropped");
        } catch (const RuntimeError&) {
            // A log that cannot be written does not keep the workbook from opening.
        }
    }
}

}  // namespace

EngineWorkbook::EngineWorkbook(SheetDirectory& sheets, BookId id, const std::string& path,
                               const std::string& fullName, bool readOnly, int32_t fileFormat)
    : directory_(sheets), id_(id), package_(ooxml::Package::open(path)), fullName_(fullName), readOnly_(readOnly),
      fileFormat_(fileFormat) {
    load();
    // A package with macros is saved as one again under its own name.
    if (fileFormat == sheet::xl::FormatOpenXmlWorkbook && holdsMacros())
        fileFormat_ = sheet::xl::FormatOpenXmlMacroEnabled;
}

EngineWorkbook::EngineWorkbook(SheetDirectory& sheets, BookId id)
    : directory_(sheets), id_(id), package_(ooxml::Package::create()) {
    ooxml::Package& package = *package_;
    package.ensureDefault("rels", ooxml::contentType::kRelationships);
    package.ensureDefault("xml", ooxml::contentType::kXml);
    package.setOverride("xl/workbook.xml", ooxml::contentType::kWorkbook);
    ooxml::Relationships root;
    root.add("officeDocument", "xl/workbook.xml");
    package.setRelationships("", root);

    ooxml::Relationships rels;
    rels.add("styles", "styles.xml");
    const std::string sheetLink = rels.add("worksheet", "worksheets/sheet1.xml");
    package.setRelationships("xl/workbook.xml", rels);
    ooxml::WorkbookPart workbook;
    workbook.createNew("xl/workbook.xml", sheetLink);
    package.writePart("xl/workbook.xml", workbook.serialize());
    ooxml::StyleSheet styles;
    styles.createDefault();
    package.writePart("xl/styles.xml", styles.serialize());
    package.setOverride("xl/styles.xml", ooxml::contentType::kStyles);
    ooxml::SheetModel firstSheet("xl/worksheets/sheet1.xml", package.fileName());
    firstSheet.createEmpty();
    package.writePart("xl/worksheets/sheet1.xml", firstSheet.serialize());
    package.setOverride("xl/worksheets/sheet1.xml", ooxml::contentType::kWorksheet);

    load();
    setActiveSheet(0);
    sheets_.front()->model().markDirty();
}

EngineWorkbook::~EngineWorkbook() = default;

std::string EngineWorkbook::partOfKind(const ooxml::Relationships& rels, std::string_view kind) const {
    const ooxml::Relationship* rel = rels.firstOfKind(kind);
    return rel != nullptr ? package_->existingTarget(workbookPart_.partName(), *rel) : std::string();
}

void EngineWorkbook::load() {
    loadParts();
    loadSheets();
    repairLinks();
    activePosition_ = std::min<size_t>(workbookPart_.activeTab(), sheets_.size() - 1);
}

void EngineWorkbook::loadParts() {
    const std::string& file = package_->fileName();
    const ooxml::Relationships rootRels = package_->relationships("");
    const ooxml::Relationship* main = rootRels.firstOfKind("officeDocument");
    if (main == nullptr) ooxml::raiseBadFile(file, "the package holds no workbook");
    const std::string part = package_->resolveTarget("", main->target);
    const std::string type = package_->contentType(part);
    if (type.find("spreadsheetml") == std::string::npos && type.find("ms-excel") == std::string::npos)
        ooxml::raiseBadFile(file, "the main part is not a spreadsheet workbook (" + type + ")");
    workbookPart_.load(package_->readPart(part), file, part);
    date1904_ = workbookPart_.date1904();

    const ooxml::Relationships rels = package_->relationships(part);
    if (const std::string theme = partOfKind(rels, "theme"); !theme.empty()) {
        pugi::xml_document doc;
        ooxml::parseXml(doc, package_->readPart(theme), file, theme);
        styles_.setThemeColors(ooxml::themeColorsOf(doc));
    }
    if (const std::string styles = partOfKind(rels, "styles"); !styles.empty()) {
        styles_.load(package_->readPart(styles), file);
    } else {
        styles_.createDefault();
    }
    if (const std::string strings = partOfKind(rels, "sharedStrings"); !strings.empty())
        strings_.load(package_->readPart(strings), file);
    maxDigitWidth_ = ooxml::maxDigitWidthOf(styles_.defaultFont());
}

void EngineWorkbook::loadSheets() {
    const std::string& file = package_->fileName();
    const std::string& workbook = workbookPart_.partName();
    const ooxml::Relationships rels = package_->relationships(workbook);
    for (const ooxml::WorkbookPart::SheetEntry& entry : workbookPart_.sheets()) {
        const ooxml::Relationship* rel = rels.find(entry.relationshipId);
        if (rel == nullptr) ooxml::raiseBadFile(file, "the sheet '" + entry.name + "' has no part");
        const std::string part = package_->resolveTarget(workbook, rel->target);
        std::unique_ptr<ooxml::SheetModel> model;
        if (package_->contentType(part) == ooxml::contentType::kWorksheet || rel->is("worksheet")) {
            if (!package_->hasPart(part)) ooxml::raiseBadFile(file, "the part of sheet '" + entry.name + "' is missing");
            model = std::make_unique<ooxml::SheetModel>(part, file);
            model->setMaxDigitWidth(maxDigitWidth_);
            model->load(package_->pieceReader(part), styles_, strings_);
            logDroppedLinks(*package_, model->dropDanglingLinks(*package_));
        }
        addSheet(sheets_.size(), entry.name, std::move(model));
        if (sheets_.back()->isWorksheet()) ooxml::checkDrawingLinks(*package_, sheets_.back()->model());
    }
    if (sheets_.empty()) ooxml::raiseBadFile(file, "the workbook has no sheets");
}

void EngineWorkbook::repairLinks() {
    logDroppedLinks(*package_, workbookPart_.dropDanglingLinks(*package_));
    logDroppedLinks(*package_, ooxml::dropDanglingRelationships(*package_, "", pugi::xml_node()));
    std::set<std::string> handled = {workbookPart_.partName()};
    for (const auto& sheet : sheets_)
        if (sheet->isWorksheet()) handled.insert(sheet->model().partName());
    logDroppedLinks(*package_, ooxml::dropDanglingRelationshipsBelow(*package_, handled));
}

void EngineWorkbook::addSheet(size_t position, const std::string& name, std::unique_ptr<ooxml::SheetModel> model) {
    auto sheet = std::make_unique<EngineWorksheet>(*this, directory_.reserve(), name, std::move(model));
    EngineWorksheet& added = *sheet;
    sheets_.insert(sheets_.begin() + static_cast<std::ptrdiff_t>(position), std::move(sheet));
    sheetsByName_.emplace(lowerCase(name), &added);
    if (!added.isWorksheet()) return;
    loadedModels_.push_back(&added);
    if (added.model().tabSelected()) selectedSheets_.push_back(&added);
}

size_t EngineWorkbook::positionOf(const EngineWorksheet& sheet) const {
    for (size_t i = 0; i < sheets_.size(); ++i)
        if (sheets_[i].get() == &sheet) return i;
    raise(err::SubscriptOutOfRange);
}

EngineWorksheet* EngineWorkbook::sheetNamed(const std::string& name) const {
    const auto it = sheetsByName_.find(lowerCase(name));
    return it == sheetsByName_.end() ? nullptr : it->second;
}

EngineWorksheet* EngineWorkbook::sheetWithId(SheetId id) const {
    EngineWorksheet* sheet = directory_.find(id);
    return sheet != nullptr && &sheet->workbook() == this ? sheet : nullptr;
}

WorkbookCalculation& EngineWorkbook::calculation() {
    if (!calculation_) calculation_ = std::make_unique<WorkbookCalculation>(*this);
    return *calculation_;
}

void EngineWorkbook::calculate(std::optional<SheetId> volatileSheet) { calculation().calculate(volatileSheet); }

void EngineWorkbook::setActiveSheet(size_t position) {
    if (position >= sheets_.size()) raise(err::SubscriptOutOfRange);
    workbookPart_.setActiveTab(position);
    activePosition_ = position;
    EngineWorksheet* active = sheets_[position].get();
    for (EngineWorksheet* sheet : selectedSheets_)
        if (sheet != active) sheet->model().setTabSelected(false);
    selectedSheets_.clear();
    if (active->isWorksheet() && active->model().setTabSelected(true)) selectedSheets_.push_back(active);
}

void EngineWorkbook::releaseIdleModels(const EngineWorksheet& keep, const EngineWorksheet& keepToo) {
    constexpr size_t kExpandedModels = 6;
    if (loadedModels_.size() <= kExpandedModels) return;
    std::sort(loadedModels_.begin(), loadedModels_.end(),
              [](const EngineWorksheet* a, const EngineWorksheet* b) { return a->lastUse() > b->lastUse(); });
    std::vector<EngineWorksheet*> kept;
    for (EngineWorksheet* sheet : loadedModels_) {
        if (kept.size() < kExpandedModels || sheet == &keep || sheet == &keepToo) {
            kept.push_back(sheet);
        } else {
            sheet->releaseModel();
        }
    }
    loadedModels_ = std::move(kept);
}

EngineWorksheet& EngineWorkbook::insertSheet(size_t position, const std::string& name,
                                             std::unique_ptr<ooxml::SheetModel> model) {
    position = std::min(position, sheets_.size());
    const std::string& workbook = workbookPart_.partName();
    const std::string part = package_->uniquePartName("xl/worksheets/sheet", ".xml");
    model->setPartName(part);
    model->setMaxDigitWidth(maxDigitWidth_);
    model->markDirty();
    package_->writePart(part, "");
    package_->setOverride(part, ooxml::contentType::kWorksheet);
    const std::string id =
        package_->editRelationships(workbook).add("worksheet", ooxml::relativeTarget(workbook, part));
    workbookPart_.insertSheet(position, name, id);
    addSheet(position, name, std::move(model));
    EngineWorksheet& sheet = *sheets_[position];
    sheet.setNameUnused();
    directory_.enter(sheet);
    calculation().sheetAdded(sheet);
    if (sheets_.size() > 1 && position <= activePosition_) setActiveSheet(activePosition_ + 1);
    return sheet;
}

void EngineWorkbook::renameSheet(EngineWorksheet& sheet, const std::string& newName) {
    const std::string oldName = sheet.name();
    workbookPart_.renameSheet(positionOf(sheet), oldName, newName);
    sheetsByName_.erase(lowerCase(oldName));
    sheetsByName_[lowerCase(newName)] = &sheet;
    if (!sheet.nameMayBeUsed()) return;
    calculation().sheetRenamed();
    for (const auto& other : sheets_) {
        if (!other->isWorksheet()) continue;
        other->model().forEachFormula([&](std::string& formula) {
            std::string repointed = ooxml::repointSheetReferencesInXml(formula, oldName, newName);
            if (repointed == formula) return false;
            formula = std::move(repointed);
            return true;
        });
    }
    ooxml::renameSheetInCharts(*package_, oldName, newName);
}

}  // namespace kbx::engine
