#pragma once
// The content types part ([Content_Types].xml): the type of every part, by
// override for a part name or by default for an extension.

#include <pugixml.hpp>

#include <string>
#include <unordered_map>

namespace kbx::ooxml {

namespace contentType {
inline constexpr const char* kWorkbook = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";
inline constexpr const char* kMacroEnabledWorkbook = "application/vnd.ms-excel.sheet.macroEnabled.main+xml";
inline constexpr const char* kWorksheet = "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
inline constexpr const char* kSharedStrings =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml";
inline constexpr const char* kStyles = "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";
inline constexpr const char* kTable = "application/vnd.openxmlformats-officedocument.spreadsheetml.table+xml";
inline constexpr const char* kDrawing = "application/vnd.openxmlformats-officedocument.drawing+xml";
inline constexpr const char* kRelationships = "application/vnd.openxmlformats-package.relationships+xml";
inline constexpr const char* kXml = "application/xml";
}  // namespace contentType

class ContentTypes {
public:
    static constexpr const char* kPartName = "[Content_Types].xml";

    // Reads the part; raises a run-time error naming `file` when it is no XML.
    void load(const std::string& text, const std::string& file);
    // The part of a new package: no types yet.
    void createEmpty();

    // The type of a part ("xl/workbook.xml"), "" when none is declared.
    std::string typeOf(const std::string& part) const;
    void setOverride(const std::string& part, const std::string& type);
    void removeOverride(const std::string& part);
    // Declares the type of an extension unless it has one.
    void ensureDefault(const std::string& extension, const std::string& type);

    bool dirty() const { return dirty_; }
    std::string serialize();

private:
    void index();

    pugi::xml_document doc_;
    bool dirty_ = false;
    // Look-ups into doc_: Override by exact and by lower-case part name
    // (with the leading "/"), Default by lower-case extension.
    std::unordered_map<std::string, pugi::xml_node> overrides_;
    std::unordered_map<std::string, pugi::xml_node> overridesLower_;
    std::unordered_map<std::string, pugi::xml_node> defaults_;
};

}  // namespace kbx::ooxml
