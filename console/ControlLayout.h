// Where each control of the main window sits: one table, in client pixels
// at 96 dpi, for the window's default size. The window places its controls
// from it and the tests check the window against it, so a control moves by
// changing its row here. When the window is enlarged, the output pane and
// its frame take the extra room, the pane's find bar stays at its foot, as
// wide as the pane, and the counters' row below the pane moves down with the
// window's bottom edge; everything else stays in place.
//
// A caption's row gives its left edge, its top and the width it may use up
// to the control on its right (or its frame); its height is one line of its
// font, so the row's height is 0.
#pragma once

#include <QRect>
#include <QSize>

#include <array>
#include <cstddef>

namespace quillet {

enum class Control : int {
    // Frames first: the window creates them first, so the controls lie above.
    Frame0, Frame1, Frame2, Frame3, Frame4,
    CommunityEdit, IpEdit, PingButton, OID1Edit, OID2Edit, OID3Edit, DataTypeGroup, InMemo,
    VerRadioGroup, V3SettingsButton, dataDisplayCheckBox, detailDisplayCheckBox, SetButton, MessageEdit, GETButton, GETNEXTButton, BulkButton,
    WalkButton, TransportButton,
    NonOID_C_Edit, MaxEdit, MaxOID_C_Edit, MaxOID1Edit, MaxOID2Edit, MaxOID3Edit, MaxOIDUpDown,
    NonOIDUpDown, TrapEdit, ClrButton, nodisplay_CheckBox, SendEdit, RecvEdit, OutMemo, Label4, FindBar,
    // Captions.
    CommunityLabel, IpLabel, OID1_Label, OID2_Label, OID3_Label, DataLabel, NonLabel, MaxLabel,
    MaxOID1_Label, MaxOID2_Label, MaxOID3_Label, Label2, Label3, Label1,
    Count
};

struct ControlPlace {
    Control control;
    const char* name;  // the control's member name, also its object name
    QRect rect;
};

// The room between the pane and its open find bar.
inline constexpr int kFindBarGap = 2;

// The window's client area.
inline constexpr QSize kClientSize{727, 701};

inline constexpr std::array<ControlPlace, static_cast<std::size_t>(Control::Count)> kControlLayout{{
    {Control::Frame0, "Frame0", {8, 8, 241, 91}},
    {Control::Frame1, "Frame1", {8, 104, 241, 287}},
    {Control::Frame2, "Frame2", {8, 460, 241, 201}},
    {Control::Frame3, "Frame3", {128, 403, 121, 50}},
    {Control::Frame4, "Frame4", {256, 8, 465, 653}},
    {Control::CommunityEdit, "CommunityEdit", {16, 32, 225, 20}},
    {Control::IpEdit, "IpEdit", {16, 72, 145, 20}},
    {Control::PingButton, "PingButton", {176, 64, 65, 28}},
    {Control::OID1Edit, "OID1Edit", {72, 112, 169, 20}},
    {Control::OID2Edit, "OID2Edit", {72, 130, 169, 20}},
    {Control::OID3Edit, "OID3Edit", {72, 148, 169, 20}},
    {Control::DataTypeGroup, "DataTypeGroup", {16, 176, 225, 143}},
    {Control::InMemo, "InMemo", {16, 342, 225, 41}},
    {Control::VerRadioGroup, "VerRadioGroup", {8, 398, 105, 58}},
    {Control::V3SettingsButton, "V3SettingsButton", {81, 439, 30, 15}},  // right of the SNMPv3 item's caption
    {Control::dataDisplayCheckBox, "dataDisplayCheckBox", {138, 406, 65, 17}},
    {Control::detailDisplayCheckBox, "detailDisplayCheckBox", {138, 434, 65, 17}},
    {Control::SetButton, "SetButton", {24, 466, 97, 25}},
    {Control::MessageEdit, "MessageEdit", {16, 668, 225, 20}},
    {Control::GETButton, "GETButton", {136, 466, 97, 25}},
    {Control::GETNEXTButton, "GETNEXTButton", {24, 493, 97, 25}},
    {Control::BulkButton, "BulkButton", {136, 493, 97, 25}},
    {Control::WalkButton, "WalkButton", {24, 520, 97, 25}},
    {Control::TransportButton, "TransportButton", {136, 520, 97, 25}},
    {Control::NonOID_C_Edit, "NonOID_C_Edit", {24, 564, 17, 20}},
    {Control::MaxEdit, "MaxEdit", {144, 564, 33, 20}},
    {Control::MaxOID_C_Edit, "MaxOID_C_Edit", {200, 564, 17, 20}},
    {Control::MaxOID1Edit, "MaxOID1Edit", {80, 596, 161, 20}},
    {Control::MaxOID2Edit, "MaxOID2Edit", {80, 616, 161, 20}},
    {Control::MaxOID3Edit, "MaxOID3Edit", {80, 636, 161, 20}},
    {Control::MaxOIDUpDown, "MaxOIDUpDown", {217, 564, 15, 20}},
    {Control::NonOIDUpDown, "NonOIDUpDown", {41, 564, 15, 20}},
    {Control::TrapEdit, "TrapEdit", {544, 672, 57, 20}},
    {Control::ClrButton, "ClrButton", {608, 673, 41, 17}},
    {Control::nodisplay_CheckBox, "nodisplay_CheckBox", {138, 420, 65, 17}},
    {Control::SendEdit, "SendEdit", {312, 672, 57, 20}},
    {Control::RecvEdit, "RecvEdit", {424, 672, 57, 20}},
    {Control::OutMemo, "OutMemo", {264, 16, 449, 637}},
    {Control::Label4, "Label4", {664, 666, 53, 33}},
    // The pane's find bar, at the pane's foot while it is open; the pane then
    // ends kFindBarGap above it.
    {Control::FindBar, "FindBar", {264, 631, 449, 22}},
    {Control::CommunityLabel, "CommunityLabel", {16, 16, 225, 0}},
    {Control::IpLabel, "IpLabel", {16, 56, 160, 0}},        // PingButton at 176
    {Control::OID1_Label, "OID1_Label", {16, 117, 56, 0}},  // the OID fields at 72
    {Control::OID2_Label, "OID2_Label", {16, 133, 56, 0}},
    {Control::OID3_Label, "OID3_Label", {16, 151, 56, 0}},
    {Control::DataLabel, "DataLabel", {16, 326, 225, 0}},
    {Control::NonLabel, "NonLabel", {24, 548, 120, 0}},  // MaxLabel at 144
    {Control::MaxLabel, "MaxLabel", {144, 548, 97, 0}},
    {Control::MaxOID1_Label, "MaxOID1_Label", {24, 598, 56, 0}},  // the Max OID fields at 80
    {Control::MaxOID2_Label, "MaxOID2_Label", {24, 618, 56, 0}},
    {Control::MaxOID3_Label, "MaxOID3_Label", {24, 638, 56, 0}},
    {Control::Label2, "Label2", {264, 676, 48, 0}},  // SendEdit at 312
    {Control::Label3, "Label3", {376, 676, 48, 0}},  // RecvEdit at 424
    {Control::Label1, "Label1", {488, 676, 56, 0}},  // TrapEdit at 544
}};

constexpr const ControlPlace& PlaceOf(Control control) { return kControlLayout[static_cast<std::size_t>(control)]; }

constexpr bool LayoutInOrder() {
    for (std::size_t i = 0; i < kControlLayout.size(); ++i)
        if (static_cast<std::size_t>(kControlLayout[i].control) != i) return false;
    return true;
}
static_assert(LayoutInOrder(), "kControlLayout lists the controls in the order of Control");

}  // namespace quillet
