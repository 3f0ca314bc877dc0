#pragma once
// A minimal spreadsheet application for the dialog tests: workbooks are
// files listed in a table (name -> sheet names); everything GetBomParams does
// to them is recorded. Members GetBomParams never uses raise 438.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sheet/application.h"
#include "value/runtime_error.h"

namespace kbx::test {

struct SpreadsheetRecord {
    std::vector<std::string> opened;  // "file|updateLinks|readOnly"
    std::vector<std::pair<std::string, std::optional<int32_t>>> savedAs;
    std::vector<bool> closedWithSave;
    int quits = 0;
    int visibleSets = 0;
};

class FakeSheet : public sheet::Worksheet {
public:
    explicit FakeSheet(std::string name) : name_(std::move(name)) {}
    std::string Name() const override { return name_; }
    void SetName(const std::string& name) override { name_ = name; }
    void Activate() override {}
    void Copy(sheet::Worksheet&) override { raise(err::MemberNotSupported); }
    void SetAutoFilterMode(bool) override {}
    std::shared_ptr<sheet::Range> Cells(int32_t, int32_t) override { raise(err::MemberNotSupported); }
    std::shared_ptr<sheet::Range> Columns(int32_t) override { raise(err::MemberNotSupported); }
    std::shared_ptr<sheet::Range> UsedRange() override { raise(err::MemberNotSupported); }
    sheet::Pictures& GetPictures() override { raise(err::MemberNotSupported); }
    sheet::Shapes& GetShapes() override { raise(err::MemberNotSupported); }

private:
    std::string name_;
};

class FakeSheets : public sheet::Sheets {
public:
    explicit FakeSheets(const std::vector<std::string>& names) {
        for (const std::string& name : names) sheets_.push_back(std::make_shared<FakeSheet>(name));
    }
    int32_t Count() const override { return static_cast<int32_t>(sheets_.size()); }
    std::shared_ptr<sheet::Worksheet> Item(int32_t index) override {
        if (index < 1 || index > Count()) raise(err::SubscriptOutOfRange);
        return sheets_[static_cast<std::size_t>(index - 1)];
    }
    std::shared_ptr<sheet::Worksheet> Item(const std::string&) override { raise(err::MemberNotSupported); }

private:
    std::vector<std::shared_ptr<FakeSheet>> sheets_;
};

class FakeWorkbook : public sheet::Workbook {
public:
    FakeWorkbook(std::string file, const std::vector<std::string>& sheets, SpreadsheetRecord& record)
        : file_(std::move(file)), sheets_(sheets), record_(record) {}
    sheet::Sheets& GetSheets() override { return sheets_; }
    std::shared_ptr<sheet::Worksheet> ActiveSheet() override { return sheets_.Item(1); }
    std::string FullName() const override { return file_; }
    void Save() override { raise(err::MemberNotSupported); }
    void SaveAs(const std::string& file, std::optional<int32_t> format) override {
        record_.savedAs.emplace_back(file, format);
        std::FILE* out = std::fopen(file.c_str(), "wb");
        if (out == nullptr) raise(err::PathNotFound);
        std::fputs("copy", out);
        std::fclose(out);
        file_ = file;
    }
    void SaveCopyAs(const std::string&) override { raise(err::MemberNotSupported); }
    void Close(bool saveChanges) override { record_.closedWithSave.push_back(saveChanges); }

private:
    std::string file_;
    FakeSheets sheets_;
    SpreadsheetRecord& record_;
};

class FakeWorkbooks : public sheet::Workbooks {
public:
    FakeWorkbooks(std::map<std::string, std::vector<std::string>> files, SpreadsheetRecord& record)
        : files_(std::move(files)), record_(record) {}
    std::shared_ptr<sheet::Workbook> Open(const std::string& file, const Variant& updateLinks, bool readOnly) override {
        record_.opened.push_back(file + "|" + toText(updateLinks) + "|" + (readOnly ? "True" : "False"));
        auto it = files_.find(file);
        if (it == files_.end()) raise(err::FileNotFound, "'" + file + "' could not be found");
        return std::make_shared<FakeWorkbook>(file, it->second, record_);
    }
    std::shared_ptr<sheet::Workbook> Add() override { raise(err::MemberNotSupported); }
    int32_t Count() const override { return 0; }

private:
    std::map<std::string, std::vector<std::string>> files_;
    SpreadsheetRecord& record_;
};

class FakeApplication : public sheet::Application {
public:
    FakeApplication(std::map<std::string, std::vector<std::string>> files, SpreadsheetRecord& record)
        : workbooks_(std::move(files), record), record_(record) {}
    sheet::Workbooks& GetWorkbooks() override { return workbooks_; }
    Variant Get(sheet::AppSetting setting) const override {
        return Variant(setting == sheet::AppSetting::Visible ? visible_ : false);
    }
    void Set(sheet::AppSetting setting, const Variant& value) override {
        if (setting == sheet::AppSetting::Visible) {
            visible_ = toBoolean(value);
            ++record_.visibleSets;
        }
    }
    int32_t Calculation() const override { return sheet::xl::CalculationAutomatic; }
    void SetCalculation(int32_t) override {}
    void Calculate() override {}
    std::string Version() const override { return "16.0"; }
    std::shared_ptr<sheet::Selection> GetSelection() override { return nullptr; }
    void Quit() override { ++record_.quits; }

private:
    FakeWorkbooks workbooks_;
    SpreadsheetRecord& record_;
    bool visible_ = false;
};

}  // namespace kbx::test
