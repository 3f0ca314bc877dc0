#include "templatefill/fill_template_sheet.h"

#include <memory>
#include <optional>
#include <string>

#include "fillcommon/copy_cell.h"
#include "fillcommon/placeholder.h"
#include "session/excel_references.h"
#include "session/cancellation.h"
#include "templatefill/ignore_errors.h"
#include "templatefill/scratch_cell.h"
#include "value/data_set.h"
#include "value/runtime_error.h"

namespace kbx::templatefill {

namespace {

// Working values of one fill.
struct FillState {
    int32_t positionRow = -1;  // lowest row of the scan rectangle with a "pos" placeholder
    int32_t maxCol = 0;        // rightmost column that held a placeholder or received a position field
    int32_t rowOut = 0;        // next row to write for the field being filled
};

void SetScreenUpdating(bool on) {
    const std::shared_ptr<sheet::Application>& app = session::excelReferences().ExcelApp;
    if (!app) raise(err::ObjectNotSet);
    app->Set(sheet::AppSetting::ScreenUpdating, Variant(on));
}

std::optional<fillcommon::Placeholder> ReadPlaceholder(sheet::Range& cell) {
    return fillcommon::ParsePlaceholder(fillcommon::ReadCellText(cell));
}

void FillHeaderPlaceholder(sheet::Range& cell, const std::string& name, const Variant& HeadNames,
                           const Variant& HeadVals) {
    // Every index is visited: with several matches the last one's value stays.
    for (int32_t i = 0; i <= HeadNames.upperBound(); ++i) {
        if (fillcommon::FieldNameMatches(HeadNames.at(i), name)) cell.SetValue(Variant(toText(HeadVals.at(i))));
    }
}

void HeaderPass(sheet::Worksheet& sheet, const Variant& HeadNames, const Variant& HeadVals, FillState& state) {
    for (int32_t row = 1; row <= kScanLastRow; ++row) {
        SetScreenUpdating(false);
        for (int32_t column = 1; column <= kScanLastColumn; ++column) {
            const std::shared_ptr<sheet::Range> cell = sheet.Cells(row, column);
            const std::optional<fillcommon::Placeholder> placeholder = ReadPlaceholder(*cell);
            if (!placeholder) continue;
            if (column > state.maxCol) state.maxCol = column;
            if (placeholder->kind == fillcommon::kPositionKind) state.positionRow = row;
            if (placeholder->kind == fillcommon::kHeaderKind)
                FillHeaderPlaceholder(*cell, placeholder->name, HeadNames, HeadVals);
        }
        SetScreenUpdating(true);
    }
}

// Writes field `field` of every position down the column, starting in the
// position row; rows below it take the model cell's font and alignment.
void WritePositionField(sheet::Worksheet& sheet, int32_t column, int32_t field, int32_t RecordSize,
                        const Variant& PosVals, sheet::Range& model, FillState& state) {
    state.rowOut = state.positionRow;
    forEachFieldValue(PosVals, field, RecordSize, [&](int32_t, const Variant& value) {
        session::throwIfCancelled();
        sheet.Columns(column)->SetNumberFormat(kTextFormat);
        const std::shared_ptr<sheet::Range> target = sheet.Cells(state.rowOut, column);
        if (state.rowOut != state.positionRow) fillcommon::CopyCell(*target, model);
        target->SetValue(value);
        ++state.rowOut;
    });
}

void PositionPass(sheet::Worksheet& sheet, int32_t RecordSize, const Variant& PosNames, const Variant& PosVals,
                  FillState& state) {
    for (int32_t column = 1; column <= kScanLastColumn; ++column) {
        SetScreenUpdating(false);
        const std::shared_ptr<sheet::Range> model = sheet.Cells(state.positionRow, column);
        const std::optional<fillcommon::Placeholder> placeholder = ReadPlaceholder(*model);
        if (placeholder && placeholder->kind == fillcommon::kPositionKind) {
            for (int32_t i = 0; i < RecordSize; ++i) {
                if (!fillcommon::FieldNameMatches(PosNames.at(i), placeholder->name)) continue;
                WritePositionField(sheet, column, i, RecordSize, PosVals, *model, state);
                if (column > state.maxCol) state.maxCol = column;
            }
        }
        SetScreenUpdating(true);
    }
}

// Swaps rows `upper` and `lower` of one column through the scratch cell.
void SwapCells(sheet::Worksheet& sheet, int32_t column, int32_t upper, int32_t lower, ScratchCell& scratch) {
    const std::shared_ptr<sheet::Range> upperCell = sheet.Cells(upper, column);
    const std::shared_ptr<sheet::Range> lowerCell = sheet.Cells(lower, column);

    std::string buffer;
    WithErrorsIgnored([&] {
        buffer = toText(upperCell->Value());
        fillcommon::CopyCell(scratch, *upperCell);
    });
    upperCell->SetValue(Variant(std::string()));
    WithErrorsIgnored([&] {
        upperCell->SetValue(lowerCell->Value());
        fillcommon::CopyCell(*upperCell, *lowerCell);
    });
    lowerCell->SetValue(Variant(buffer));
    fillcommon::CopyCell(*lowerCell, scratch);
}

}  // namespace

void FillTemplateSheet(sheet::Worksheet& sheet, const Variant& HeadNames, const Variant& HeadVals, int32_t RecordSize,
                       const Variant& PosNames, const Variant& PosVals, bool reverse) {
    FillState state;
    HeaderPass(sheet, HeadNames, HeadVals, state);
    if (state.positionRow > 0) PositionPass(sheet, RecordSize, PosNames, PosVals, state);
    for (int32_t column = 1; column <= state.maxCol; ++column) sheet.Columns(column)->SetNumberFormat(kTextFormat);
    if (reverse) ReverseRows(sheet, state.rowOut - 1, state.maxCol);
}

void ReverseRows(sheet::Worksheet& sheet, int32_t lastRow, int32_t lastCol) {
    // The swap buffer is a cell in memory, so the sheet cell right of the
    // block keeps whatever the template holds there.
    ScratchCell scratch;
    for (int32_t column = 1; column <= lastCol; ++column) {
        for (int32_t i = 1; i <= lastRow; ++i) {
            const int32_t m = lastRow - i + 1;
            if (i < m) SwapCells(sheet, column, i, m, scratch);
        }
    }
}

}  // namespace kbx::templatefill
