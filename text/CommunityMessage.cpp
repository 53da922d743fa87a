#include "text/CommunityMessage.h"

#include "text/BerTags.h"

namespace quillet {
namespace {

// The length octet after a tag at `tagAt` opens the short form, 81 or 82.
bool CommonForm(const std::uint8_t* data, std::size_t tagAt) { return data[tagAt + 1] <= 0x82; }

}  // namespace

void ReadCommunityMessage(const std::uint8_t* data, std::size_t size, CommunityMessage& out) {
    out = CommunityMessage{};
    BerReader reader(data, size);
    if (!reader.ReadHeader(LengthForm::Definite, out.message) || out.message.tag != kSequenceTag) return;
    out.versionTag = reader.Position();
    if (!reader.ReadElement(kIntegerTag, LengthForm::Definite, out.version)) return;
    out.communityTag = reader.Position();
    if (!reader.ReadElement(kOctetStringTag, LengthForm::Definite, out.community)) return;
    out.read = true;
    out.versionNumber = ReadNumber(data + out.version.start, out.version.length);
    out.pduAt = reader.Position();
    reader.PeekTag(out.pduTag);
    out.commonLengthForms =
        CommonForm(data, 0) && CommonForm(data, out.versionTag) && CommonForm(data, out.communityTag);
    out.versionShortForm = data[out.versionTag + 1] < 0x80;
}

}  // namespace quillet
