#include "output/OutputBatch.h"

#include "text/Cp932.h"
#include "text/DumpText.h"

namespace quillet {

OutputBatch::Item& OutputBatch::Next(ItemType type, int value) {
    if (used_ == items_.size()) items_.push_back(Item{});
    Item& item = items_[used_++];
    item.type = type;
    item.value = value;
    item.text.clear();
    item.ascii = false;
    return item;
}

void OutputBatch::Clear() {
    if (items_.size() > kKeptItems) {
        items_.resize(kKeptItems);
        items_.shrink_to_fit();
    }
    used_ = 0;
}

void OutputBatch::WriteLine(std::string_view text, LineKind kind) {
    Item& item = Next(ItemType::Line, kind);
    item.text.assign(text);
    item.ascii = IsAscii(text);
}

void OutputBatch::DumpPdu(const std::uint8_t* data, std::size_t length, LineKind kind) {
    for (std::size_t offset = 0; offset < length; offset += kDumpBytesPerLine) {
        std::size_t count = length - offset;
        if (count > kDumpBytesPerLine) count = kDumpBytesPerLine;
        Item& item = Next(ItemType::Line, kind);
        AppendDumpLine(item.text, data + offset, count);
        item.ascii = true;  // hex digits, blanks and printable ASCII only
    }
}

void OutputBatch::ChargeOutput(int count) { Next(ItemType::Charge, count); }

void OutputBatch::SetField(Field field, std::string_view text) {
    Next(ItemType::SetField, static_cast<int>(field)).text.assign(text);
}

void OutputBatch::CountDatagram(Counter counter) { Next(ItemType::Count, static_cast<int>(counter)); }

void OutputBatch::PaneLine(std::string_view text) { Next(ItemType::PaneLine, 0).text.assign(text); }

void OutputBatch::Append(const OutputBatch& other) {
    for (const Item& item : other) {
        Item& copy = Next(item.type, item.value);
        copy.text.assign(item.text);
        copy.ascii = item.ascii;
    }
}

void OutputBatch::StartDatagram() {
    if (used_ != 0) Next(ItemType::Start, 0);
}

std::vector<std::string> OutputBatch::LineTexts() const {
    std::vector<std::string> lines;
    for (const Item& item : *this)
        if (item.type == ItemType::Line) lines.push_back(item.text);
    return lines;
}

}  // namespace quillet
