#include "ooxml/sheet_xml_splitter.h"

#include <cstring>

namespace kbx::ooxml {

namespace {

// Depth of the children of <sheetData> (worksheet = 1, sheetData = 2).
constexpr int kCellsDepth = 2;

std::string_view localPart(std::string_view name) {
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool isNameEnd(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '/' || c == '>'; }

}  // namespace

void SheetXmlSplitter::write(std::string_view piece) {
    buffer_.append(piece);
    while (scan()) {
    }
    if (phase_ == Phase::Cells && childrenEnd_ >= batchSize_) passBatch(childrenEnd_);
    if (phase_ != Phase::Cells && scan_ > 0) {
        // Head and tail are kept whole; only the unscanned rest stays buffered.
        frame_.append(buffer_, 0, scan_);
        buffer_.erase(0, scan_);
        scan_ = 0;
    }
}

void SheetXmlSplitter::passBatch(size_t end) {
    if (end == 0) return;
    batch_(std::string_view(buffer_.data(), end));
    buffer_.erase(0, end);
    scan_ -= end;
    childrenEnd_ = 0;
}

bool SheetXmlSplitter::scan() {
    const size_t open = buffer_.find('<', scan_);
    if (open == std::string::npos) {
        scan_ = buffer_.size();
        return false;
    }
    const std::string_view rest(buffer_.data() + open, buffer_.size() - open);
    size_t end;  // one past the markup
    if (rest.size() < 9 && !final_) return false;  // enough to tell the markup kinds apart
    if (rest.size() < 2) return false;
    if (rest.compare(0, 4, "<!--") == 0) {
        const size_t close = rest.find("-->", 4);
        if (close == std::string_view::npos) return false;
        end = open + close + 3;
    } else if (rest.compare(0, 9, "<![CDATA[") == 0) {
        const size_t close = rest.find("]]>", 9);
        if (close == std::string_view::npos) return false;
        end = open + close + 3;
    } else if (rest.compare(0, 2, "<?") == 0) {
        const size_t close = rest.find("?>", 2);
        if (close == std::string_view::npos) return false;
        end = open + close + 2;
    } else if (rest.compare(0, 2, "<!") == 0) {
        fail_("holds a document type declaration");
        return false;
    } else {
        // A tag: its end is the first '>' outside quoted attribute values.
        char quote = 0;
        size_t i = 1;
        for (; i < rest.size(); ++i) {
            const char c = rest[i];
            if (quote != 0) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            }
        }
        if (i == rest.size()) return false;
        end = open + i + 1;
        const bool closing = rest[1] == '/';
        const bool empty = rest[i - 1] == '/';
        size_t nameEnd = closing ? 2 : 1;
        while (nameEnd < i && !isNameEnd(rest[nameEnd])) ++nameEnd;
        const std::string_view name = localPart(rest.substr(closing ? 2 : 1, nameEnd - (closing ? 2 : 1)));
        if (closing) {
            --depth_;
            if (phase_ == Phase::Cells && depth_ == kCellsDepth - 1) {
                // </sheetData>: the children end here, the tail starts.
                passBatch(open);
                phase_ = Phase::Tail;
                scan_ = end - open;
                return true;
            }
        } else if (!empty) {
            ++depth_;
            if (phase_ == Phase::Head && depth_ == kCellsDepth && name == "sheetData") {
                // The head ends with the <sheetData> start tag.
                phase_ = Phase::Cells;
                frame_.append(buffer_, 0, end);
                buffer_.erase(0, end);
                scan_ = 0;
                childrenEnd_ = 0;
                return true;
            }
        }
    }
    scan_ = end;
    if (phase_ == Phase::Cells && depth_ == kCellsDepth) childrenEnd_ = end;
    return true;
}

std::string SheetXmlSplitter::finish() {
    final_ = true;
    while (scan()) {
    }
    if (phase_ == Phase::Cells) {
        // The text ended inside <sheetData>: what is left goes to the cell
        // reader, which reports it as not well-formed.
        passBatch(buffer_.size());
        phase_ = Phase::Tail;
    }
    frame_ += buffer_;
    buffer_.clear();
    return std::move(frame_);
}

}  // namespace kbx::ooxml
