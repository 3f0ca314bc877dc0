#pragma once
// Reads worksheet XML handed over in pieces and splits it into the frame
// (everything but the children of <sheetData>) and batches of whole
// <sheetData> children, so that a sheet of millions of cells is never held
// as one text or one document tree. Only markup boundaries are found here
// (tags, comments, CDATA, processing instructions, quoted attribute values);
// the batches and the frame are parsed as XML by the caller.

#include <functional>
#include <string>
#include <string_view>

namespace kbx::ooxml {

class SheetXmlSplitter {
public:
    // `batch` receives complete children of <sheetData> (about `batchSize`
    // bytes at a time); `fail` is called with what is wrong and must not return.
    SheetXmlSplitter(std::function<void(std::string_view)> batch, std::function<void(const std::string&)> fail,
                     size_t batchSize = 1 << 20)
        : batch_(std::move(batch)), fail_(std::move(fail)), batchSize_(batchSize) {}

    void write(std::string_view piece);
    // After the last piece: the frame, with an empty <sheetData> element.
    std::string finish();

private:
    enum class Phase { Head, Cells, Tail };
    // Scans markup from scan_; false when the buffer ends inside it.
    bool scan();
    void passBatch(size_t end);

    std::function<void(std::string_view)> batch_;
    std::function<void(const std::string&)> fail_;
    size_t batchSize_;
    Phase phase_ = Phase::Head;
    std::string frame_;    // head, then tail
    std::string buffer_;   // text not yet handed on
    size_t scan_ = 0;      // next position of buffer_ to scan
    size_t childrenEnd_ = 0;  // end of the last complete child of <sheetData> in buffer_
    int depth_ = 0;
    bool final_ = false;  // no more pieces: short markup at the end is scanned too
};

}  // namespace kbx::ooxml
