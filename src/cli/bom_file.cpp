#include "cli/bom_file.h"

#include <csv.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <charconv>
#include <vector>

#include "cli/json_variant.h"
#include "files/input_file.h"
#include "value/runtime_error.h"

namespace kbx::cli {

namespace {

using Row = std::vector<std::string>;

[[noreturn]] void malformed(const std::string& reason) { raise(err::TypeMismatch, "Type mismatch: " + reason); }

struct CsvCollector {
    std::vector<Row> rows;
    Row current;
};

void onField(void* field, size_t size, void* data) {
    static_cast<CsvCollector*>(data)->current.emplace_back(static_cast<const char*>(field), size);
}

void onRowEnd(int, void* data) {
    auto* collector = static_cast<CsvCollector*>(data);
    collector->rows.push_back(std::move(collector->current));
    collector->current.clear();
}

std::vector<Row> parseCsvRows(const std::string& text) {
    csv_parser parser;
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI) != 0) raise(err::OutOfMemory);
    CsvCollector collector;
    const bool parsed = csv_parse(&parser, text.data(), text.size(), onField, onRowEnd, &collector) == text.size() &&
                        csv_fini(&parser, onField, onRowEnd, &collector) == 0;
    const std::string reason = parsed ? "" : csv_strerror(csv_error(&parser));
    csv_free(&parser);
    if (!parsed) malformed("the CSV file cannot be read: " + reason);
    return collector.rows;
}

// Plain decimal numbers only ("12", "-3.5", "1e3"); anything else stays text.
Variant cellValue(const std::string& cell) {
    if (cell.empty() || cell.find_first_not_of("+-0123456789.eE") != std::string::npos) return Variant(cell);
    const char* first = cell.data() + (cell.front() == '+' ? 1 : 0);
    const char* last = cell.data() + cell.size();
    int32_t whole = 0;
    auto [wholeEnd, wholeError] = std::from_chars(first, last, whole);
    if (wholeError == std::errc() && wholeEnd == last) return Variant(whole);
    double number = 0;
    auto [end, error] = std::from_chars(first, last, number);
    if (error == std::errc() && end == last) return Variant(number);
    return Variant(cell);
}

bool blankRow(const Row& row) {
    for (const std::string& cell : row)
        if (!cell.empty()) return false;
    return true;
}

}  // namespace

BomFile readBomFile(const std::string& path) {
    const std::string text = files::readRegularFile(path, files::kMaxBomFileBytes, "a BOM file");
    const bool csv = path.size() >= 4 && (path.ends_with(".csv") || path.ends_with(".CSV"));
    return csv ? parseBomCsv(text) : parseBomJson(text);
}

BomFile parseBomJson(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        malformed("the BOM file is not a JSON object: " + error.errorString().toStdString());
    const QJsonObject object = document.object();
    BomFile bom;
    bom.data.HeadNames = variantFromJson(object.value("HeadNames"));
    bom.data.HeadVals = variantFromJson(object.value("HeadVals"));
    bom.data.RecordSize = toLong(variantFromJson(object.value("RecordSize")));
    bom.data.PosNames = variantFromJson(object.value("PosNames"));
    bom.data.PosVals = variantFromJson(object.value("PosVals"));
    bom.Captions = object.contains("Captions") ? variantFromJson(object.value("Captions")) : bom.data.PosNames;
    return bom;
}

BomFile parseBomCsv(const std::string& text) {
    std::vector<Variant> headNames, headVals, fieldNames, posNames, posVals;
    bool fieldsSeen = false;
    for (const Row& row : parseCsvRows(text)) {
        if (blankRow(row)) continue;
        if (row.front() == "@head") {
            headNames.emplace_back(row.size() > 1 ? row[1] : std::string());
            headVals.push_back(row.size() > 2 ? cellValue(row[2]) : Variant(std::string()));
        } else if (!fieldsSeen) {
            for (const std::string& name : row) fieldNames.emplace_back(name);
            fieldsSeen = true;
        } else {
            for (std::size_t i = 0; i < fieldNames.size(); ++i) {
                posNames.push_back(fieldNames[i]);
                posVals.push_back(i < row.size() ? cellValue(row[i]) : Variant(std::string()));
            }
        }
    }
    if (fieldNames.empty()) malformed("the CSV file has no row of position field names");
    BomFile bom;
    bom.data.HeadNames = Variant::array(std::move(headNames));
    bom.data.HeadVals = Variant::array(std::move(headVals));
    bom.data.RecordSize = static_cast<int32_t>(fieldNames.size());
    bom.Captions = Variant::array(fieldNames);
    // One name per value: serves the template fill, the summary and the plain export alike.
    bom.data.PosNames = Variant::array(posNames.empty() ? fieldNames : std::move(posNames));
    bom.data.PosVals = Variant::array(std::move(posVals));
    return bom;
}

}  // namespace kbx::cli
