// Saving a workbook: as a package (with or without macros), as tab-separated
// text of its active sheet, or through the converter as .xls or .ods.

#include <filesystem>

#include "engine/engine_calculation.h"
#include "engine/engine_formats.h"
#include "engine/engine_document.h"
#include "files/atomic_file.h"
#include "files/input_file.h"
#include "ooxml/content_types.h"
#include "ooxml/part_names.h"
#include "sheet/workbook.h"
#include "value/runtime_error.h"

namespace kbx::engine {

namespace {

void appendTextField(std::string& out, const std::string& text) {
    if (text.find_first_of("\t\"\r\n") == std::string::npos) {
        out += text;
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

// Writes a part the workbook keeps parsed under the workbook's relationship
// of `kind`, adding the relationship (to a part named by `newPart`) when there is none.
template <typename Name, typename Write>
void writeLinkedPart(ooxml::Package& package, const std::string& workbook, ooxml::Relationships& rels,
                     std::string_view kind, Name&& newPart, const char* type, bool& relsChanged, Write&& write) {
    const ooxml::Relationship* rel = rels.firstOfKind(kind);
    const std::string part = rel ? package.resolveTarget(workbook, rel->target) : newPart();
    if (!rel) {
        rels.add(kind, ooxml::relativeTarget(workbook, part));
        relsChanged = true;
    }
    package.setOverride(part, type);
    write(part);
}

// Marks the package's workbook part as macro-free and drops its VBA project
// (and the project's signature parts), which readers refuse in a macro-free file.
void dropMacroProject(ooxml::Package& package, const std::string& workbook) {
    package.setOverride(workbook, ooxml::contentType::kWorkbook);
    ooxml::Relationships rels = package.relationships(workbook);
    for (const ooxml::Relationship& rel : rels.items) {
        if (!rel.namesPart() || !rel.is("vbaProject")) continue;
        const std::string project = package.resolveTarget(workbook, rel.target);
        for (const ooxml::Relationship& inner : package.relationships(project).items)
            if (inner.namesPart()) package.removePart(package.resolveTarget(project, inner.target));
        package.removePart(ooxml::relationshipsPartName(project));
        package.removePart(project);
    }
    std::erase_if(rels.items, [](const ooxml::Relationship& r) { return r.is("vbaProject"); });
    package.setRelationships(workbook, rels);
}

// The hidden file beside `target` that holds the package on its way to its
// final form (removed by a later save in that folder if a killed process left it).
std::string stagingFileFor(const std::string& target) {
    const std::filesystem::path path(target);
    return (path.parent_path() / ("." + path.filename().string() + ".kbx-convert.xlsx")).string();
}

}  // namespace

void EngineWorkbook::writePackageParts() {
    calculate();
    bool cellsChanged = false;
    for (const auto& sheet : sheets_) {
        sheet->flushDrawing();
        if (sheet->modelLoaded() && sheet->model().dirty()) {
            package_->writeDeflatedPart(sheet->model().partName(), sheet->model().serializeDeflated());
            cellsChanged = true;
        }
        cellsChanged = cellsChanged || sheet->changedSinceOpen();
    }
    const std::string& workbook = workbookPart_.partName();
    ooxml::Relationships rels = package_->relationships(workbook);
    bool relsChanged = false;
    if (strings_.dirty()) {
        const auto fresh = [&]() -> std::string {
            const char* usual = "xl/sharedStrings.xml";
            return package_->hasPart(usual) ? package_->uniquePartName("xl/sharedStrings", ".xml") : usual;
        };
        writeLinkedPart(*package_, workbook, rels, "sharedStrings", fresh, ooxml::contentType::kSharedStrings,
                        relsChanged, [&](const std::string& part) {
                            package_->writeDeflatedPart(part, strings_.serializeDeflated());
                        });
    }
    if (styles_.dirty()) {
        const auto fresh = [] { return std::string("xl/styles.xml"); };
        writeLinkedPart(*package_, workbook, rels, "styles", fresh, ooxml::contentType::kStyles, relsChanged,
                        [&](const std::string& part) { package_->writePart(part, styles_.serialize()); });
    }
    if (cellsChanged) {
        // The calculation chain lists formula cells; readers rebuild it.
        if (const ooxml::Relationship* chain = rels.firstOfKind("calcChain")) {
            package_->removePart(package_->resolveTarget(workbook, chain->target));
            std::erase_if(rels.items, [](const ooxml::Relationship& r) { return r.is("calcChain"); });
            relsChanged = true;
        }
    }
    // Formulas the engine could not compute keep their stored values; readers
    // recalculate them. When every formula was computed, readers need not.
    calculation().logNotComputed();
    workbookPart_.setFullCalcOnLoad(!calculation().allComputed());
    if (relsChanged) package_->setRelationships(workbook, rels);
    if (workbookPart_.dirty()) package_->writePart(workbook, workbookPart_.serialize());
}

void EngineWorkbook::writeText(const std::string& path) {
    calculate();
    EngineWorksheet& sheet = *sheets_.at(activePosition_);
    std::string out;
    if (sheet.isWorksheet()) {
        if (const auto bounds = sheet.model().usedBounds()) {
            const int32_t lastRow = (*bounds)[2], lastColumn = (*bounds)[3];
            for (int32_t row = 1; row <= lastRow; ++row) {
                for (int32_t column = 1; column <= lastColumn; ++column) {
                    if (column > 1) out += '\t';
                    appendTextField(out, sheet.cellText(row, column));
                }
                out += '\n';
            }
        }
    }
    files::replaceFileWith(path, out);
}

bool EngineWorkbook::holdsMacros() const {
    return package_->contentType(workbookPart_.partName()).find("macroEnabled") != std::string::npos;
}

// The main part's content type says whether the workbook may hold macros; a
// workbook without them drops its VBA project.
void EngineWorkbook::setMainPartMacros(bool keep) {
    if (keep) {
        package_->setOverride(workbookPart_.partName(), ooxml::contentType::kMacroEnabledWorkbook);
    } else if (holdsMacros()) {
        dropMacroProject(*package_, workbookPart_.partName());
    }
}

void EngineWorkbook::saveTo(const std::string& path, int32_t format) {
    switch (format) {
        case sheet::xl::FormatOpenXmlMacroEnabled:
        case sheet::xl::FormatOpenXmlWorkbook:
            setMainPartMacros(format == sheet::xl::FormatOpenXmlMacroEnabled);
            writePackageParts();
            package_->save(path);
            return;
        case sheet::xl::FormatTextTabSeparated:
            writeText(path);
            return;
        case sheet::xl::FormatWorkbookNormal:
        case kFormatOpenDocument: {
            const std::string temp = stagingFileFor(path);
            writePackageParts();
            std::error_code ignored;
            try {
                package_->save(temp, path);
                exportForeignFormat(temp, path, format);
            } catch (...) {
                std::filesystem::remove(temp, ignored);
                throw;
            }
            std::filesystem::remove(temp, ignored);
            return;
        }
        default:
            raiseSpreadsheet("Cannot save '" + path + "': file format " + std::to_string(format) +
                             " is not supported.");
    }
}

void EngineWorkbook::save() {
    if (fullName_.empty()) raiseSpreadsheet("The new workbook has no file name yet; use SaveAs.");
    if (readOnly_) {
        raiseSpreadsheet("The workbook '" + fullName_ + "' is read-only and cannot be saved under its own name.");
    }
    saveTo(fullName_, fileFormat_);
}

void EngineWorkbook::saveAs(const std::string& file, std::optional<int32_t> fileFormat) {
    if (file.empty()) raiseSpreadsheet("SaveAs needs a file name.");
    const std::string target = files::absoluteFileName(file);
    if (readOnly_ && target == fullName_) {
        raiseSpreadsheet("The workbook '" + fullName_ + "' is read-only and cannot be saved under its own name.");
    }
    // Without a format, the target's extension names one; another extension keeps the workbook's.
    const int32_t format = fileFormat.value_or(fileFormatNamedBy(target).value_or(fileFormat_));
    saveTo(target, format);
    fullName_ = target;
    fileFormat_ = format;
    readOnly_ = false;
}

// A copy is written in the format its extension names, else in the
// workbook's own, and leaves the workbook as it was: its macros included.
void EngineWorkbook::saveCopyAs(const std::string& file) {
    const std::string target = files::absoluteFileName(file);
    if (readOnly_ && target == fullName_) {
        raiseSpreadsheet("The workbook '" + fullName_ + "' is read-only and cannot be overwritten.");
    }
    const int32_t own =
        fileFormat_ == sheet::xl::FormatTextTabSeparated ? sheet::xl::FormatOpenXmlWorkbook : fileFormat_;
    const int32_t format = fileFormatNamedBy(target).value_or(own);
    const bool macros = holdsMacros();
    if (macros && format == sheet::xl::FormatOpenXmlWorkbook) {
        saveMacroFreeCopy(target);
        return;
    }
    saveTo(target, format);
    if (!macros && holdsMacros()) package_->setOverride(workbookPart_.partName(), ooxml::contentType::kWorkbook);
}

// The package is saved beside the target as it is, read back, and saved
// again without its VBA project, which the workbook keeps.
void EngineWorkbook::saveMacroFreeCopy(const std::string& target) {
    const std::string staging = stagingFileFor(target);
    writePackageParts();
    std::unique_ptr<ooxml::Package> copy;
    std::error_code ignored;
    try {
        package_->save(staging, target);
        copy = ooxml::Package::open(staging);
    } catch (...) {
        std::filesystem::remove(staging, ignored);
        throw;
    }
    std::filesystem::remove(staging, ignored);
    dropMacroProject(*copy, workbookPart_.partName());
    copy->save(target);
}

}  // namespace kbx::engine
