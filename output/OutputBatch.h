// An ordered batch of output work produced by one operation or one datagram:
// report lines, pane charges, counter increments and control texts. A batch is
// built without any lock and handed whole to ConsoleOutput::Commit, which
// writes its log records together and passes its pane work to the GUI thread
// in the same order. Texts are UTF-8; the log receives them in code page 932.
//
// A batch is meant to be reused: Clear() keeps the capacity of its items and
// their strings, so a listener that reuses one batch allocates nothing once
// it has warmed up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// Line kinds of WriteLine and DumpPdu.
enum LineKind : int {
    PduLine = 1,      // shown only while "PDU表示" is ticked (and "全非表示" is not)
    SummaryLine = 2,  // shown unless "全非表示" is ticked
};

// Controls whose text a listener or an operation may change.
enum class Field : int { SendEdit = 0, RecvEdit, TrapEdit, OID1Edit, OID2Edit, OID3Edit, Count };

// The three traffic counters.
enum class Counter : int { Send = 0, Recv, Trap, Count };

class OutputBatch {
public:
    enum class ItemType : std::uint8_t {
        Line,      // text + kind: one log record, and a pane line if the switches allow
        Charge,    // value: characters charged to the pane budget
        SetField,  // field + text: new text of a control
        Count,     // counter: advance it by one and show it in its field
        PaneLine,  // text: a pane line that is never logged nor charged (ping)
        Start,     // the items of one datagram (or one request) begin here
    };
    struct Item {
        ItemType type;
        int value;  // kind, charge, Field or Counter as an int
        std::string text;
        bool ascii;  // a Line: its text is ASCII only (its log record is the text and CR LF)
    };

    // One report line. The text must not contain a line break, nor a
    // carriage return or U+2029: the pane would make a line of each, and it
    // counts one line a line (ConsoleOutput).
    void WriteLine(std::string_view text, LineKind kind);
    // The bytes as dump lines of 16 bytes each, every line of the given kind.
    void DumpPdu(const std::uint8_t* data, std::size_t length, LineKind kind);
    void ChargeOutput(int count);
    void SetField(Field field, std::string_view text);
    void CountDatagram(Counter counter);
    void PaneLine(std::string_view text);
    // Marks where the items of the next datagram begin, in a batch that
    // carries several: the pane is emptied before a datagram's lines, never
    // between them. A batch is one datagram's up to its first mark.
    void StartDatagram();
    // Appends the items of `other`, in order.
    void Append(const OutputBatch& other);

    // Starts a fresh batch of the items that follow; keeps storage for reuse,
    // but for an outsized batch's (a datagram of 65,000 octets has thousands
    // of dump lines), which it hands back.
    void Clear();
    bool Empty() const { return used_ == 0; }
    std::size_t Size() const { return used_; }
    const Item& operator[](std::size_t i) const { return items_[i]; }
    const Item* begin() const { return items_.data(); }
    const Item* end() const { return items_.data() + used_; }

    // The texts of all Line items, in order (handy for tests and tools).
    std::vector<std::string> LineTexts() const;

    // Items a batch keeps storage for between uses.
    static constexpr std::size_t kKeptItems = 4096;

private:
    Item& Next(ItemType type, int value);

    std::vector<Item> items_;
    std::size_t used_ = 0;
};

}  // namespace quillet
