#include "trap/InformAck.h"

#include <cstring>

#include "text/BerTags.h"
#include "text/BerWriter.h"

namespace quillet {
namespace {

// error-status 0 and error-index 0.
constexpr std::uint8_t kNoError[] = {0x02, 0x01, 0x00, 0x02, 0x01, 0x00};

std::size_t Whole(const BerElement& element, std::size_t tagAt) { return element.End() - tagAt; }

}  // namespace

std::size_t BuildInformAck(const std::uint8_t* datagram, const NotificationScanResult& scan, std::uint8_t* out,
                           std::size_t capacity) {
    if (scan.pduTag != kInformRequestTag || scan.frameError) return 0;
    // Two INTEGERs without content: not an inform to answer, and the one
    // case where the answer's zeros would outgrow the fields they replace.
    if (scan.errorStatus.length == 0 || scan.errorIndex.length == 0) return 0;
    const std::size_t version = Whole(scan.version, scan.versionTag);
    const std::size_t community = Whole(scan.community, scan.communityTag);
    const std::size_t requestId = Whole(scan.requestId, scan.requestIdTag);
    const std::size_t bindings = Whole(scan.bindingList, scan.bindingListTag);

    const std::size_t pduContent = requestId + sizeof kNoError + bindings;
    const std::size_t pdu = 1 + LengthFieldSize(pduContent) + pduContent;
    const std::size_t messageContent = version + community + pdu;
    if (LengthFieldSize(messageContent) > 3) return 0;  // beyond what a UDP datagram carries
    const std::size_t total = 1 + LengthFieldSize(messageContent) + messageContent;
    if (total > capacity) return 0;

    std::uint8_t* at = out;
    at += PutHeader(at, kSequenceTag, messageContent);
    std::memcpy(at, datagram + scan.versionTag, version);
    at += version;
    std::memcpy(at, datagram + scan.communityTag, community);
    at += community;
    at += PutHeader(at, kResponseTag, pduContent);
    std::memcpy(at, datagram + scan.requestIdTag, requestId);
    at += requestId;
    std::memcpy(at, kNoError, sizeof kNoError);
    at += sizeof kNoError;
    std::memcpy(at, datagram + scan.bindingListTag, bindings);
    return total;
}

}  // namespace quillet
