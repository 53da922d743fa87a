#include "trap/InformAck.h"

#include "text/BerWriter.h"

namespace quillet {
namespace {

// An element as the inform has it, tag to end of content.
std::span<const std::uint8_t> Whole(const std::uint8_t* datagram, const BerElement& element, std::size_t tagAt) {
    return {datagram + tagAt, element.End() - tagAt};
}

}  // namespace

std::size_t BuildInformAck(const std::uint8_t* datagram, const CommunityMessage& message,
                           const NotificationScanResult& scan, std::uint8_t* out, std::size_t capacity) {
    if (scan.pduTag != kInformRequestTag || scan.frameError || !message.read) return 0;
    // Two INTEGERs without content: not an inform to answer, and the one
    // case where the answer's zeros would outgrow the fields they replace.
    if (scan.errorStatus.length == 0 || scan.errorIndex.length == 0) return 0;
    // Shortest lengths, and no room beyond what the answer takes: a datagram
    // beyond 65,535 octets fails the writer.
    BerWriter writer(out, capacity);
    const BerWriter::Container sequence = writer.Open(kSequenceTag);
    writer.Octets(Whole(datagram, message.version, message.versionTag));
    writer.Octets(Whole(datagram, message.community, message.communityTag));
    const BerWriter::Container pdu = writer.Open(kResponseTag);
    writer.Octets(Whole(datagram, scan.requestId, scan.requestIdTag));
    writer.Integer(0);  // error-status
    writer.Integer(0);  // error-index
    writer.Octets(Whole(datagram, scan.bindingList, scan.bindingListTag));
    writer.Close(pdu);
    writer.Close(sequence);
    return writer.Finish();
}

}  // namespace quillet
