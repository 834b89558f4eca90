// The eleven option lists: refilled when they open, their choice sent when they close.
#include <QSignalBlocker>

#include <optional>

#include "panel/control_panel.h"
#include "panel/drop_down_combo.h"
#include "panel/panel_tables.h"
#include "ui_control_panel.h"

namespace zarnix {

namespace {

using UI = Ui::ControlPanel;

// In the order of ListId.
constexpr CListRow kLists[] = {
    {ListId::ShutterMode, &UI::shutterModeList}, {ListId::MaxShutter, &UI::maxShutterList},
    {ListId::MinShutter, &UI::minShutterList},   {ListId::SensUpMode, &UI::sensUpModeList},
    {ListId::DnMode, &UI::dnModeList},           {ListId::ColourBurst, &UI::colourBurstList},
    {ListId::BlcMode, &UI::blcModeList},         {ListId::BlcGain, &UI::blcGainList},
    {ListId::BlcWindowPos, &UI::blcWindowPosList}, {ListId::BlcWindowSize, &UI::blcWindowSizeList},
    {ListId::WbMode, &UI::wbModeList},
};

// Where a list's value goes on the camera (the white balance list has its own
// handler). The settings copy keeps it in the entry of the register it writes.
struct CListTarget {
    ListId list;
    ESetCommand command;                 // for the BLC window: the register of BLC mode 1
    std::optional<ESetCommand> blcMode2; // the BLC window's register of BLC mode 2
};
constexpr CListTarget kListTargets[] = {
    {ListId::ShutterMode, ESetCommand::SetShutterMode, std::nullopt},
    {ListId::MaxShutter, ESetCommand::SetMaxShutter, std::nullopt},
    {ListId::MinShutter, ESetCommand::SetMinShutter, std::nullopt},
    {ListId::SensUpMode, ESetCommand::SetSensUpMode, std::nullopt},
    {ListId::DnMode, ESetCommand::SetDayNightMode, std::nullopt},
    {ListId::ColourBurst, ESetCommand::SetColourBurst, std::nullopt},
    {ListId::BlcMode, ESetCommand::SetBlcMode, std::nullopt},
    {ListId::BlcGain, ESetCommand::SetBlcGain, std::nullopt},
    {ListId::BlcWindowPos, ESetCommand::SetBlcWindowPos1, ESetCommand::SetBlcWindowPos2},
    {ListId::BlcWindowSize, ESetCommand::SetBlcWindowSize1, ESetCommand::SetBlcWindowSize2},
};

} // namespace

std::span<const CListRow> ListRows() { return kLists; }

CListRegisters ListRegisters(ListId list)
{
    if (list == ListId::WbMode)
        return {ESetCommand::SetWhiteBalanceMode, std::nullopt};
    const CListTarget& target = kListTargets[static_cast<std::size_t>(list)];
    return {target.command, target.blcMode2};
}

std::uint8_t ListEntry(ListId list) { return EntryOf(ListRegisters(list).command); }

CDropDownCombo& CControlPanel::ListOf(ListId list) const
{
    return *(*m_ui.*kLists[static_cast<std::size_t>(list)].list);
}

QString& CControlPanel::TextOf(ListId list) { return m_astrListTexts[static_cast<std::size_t>(list)]; }

void CControlPanel::FillList(ListId list) { zarnix::FillList(ListOf(list), list, TextOf(list)); }

void CControlPanel::ShowListCode(ListId list)
{
    FillList(list);
    const std::optional<std::uint16_t> code = CodeOf(list);
    SelectListIndex(ListOf(list), code ? ListIndexOfCode(list, *code) : -1);
}

void CControlPanel::EnableShutterLimits()
{
    Enable({m_ui->maxShutterList, m_ui->minShutterList}, CodeOf(ListId::ShutterMode) == kShutterLimitedAutoCode);
}

void CControlPanel::SyncListTexts()
{
    for (const CListRow& row : kLists)
        TextOf(row.id) = ListOf(row.id).currentText();
}

// With no entry chosen (the text matched none when the list was rebuilt) there
// is no value: the list is left holding just its text until it is next opened,
// and nothing is sent.
std::optional<std::uint16_t> CControlPanel::TakeListChoice(ListId list)
{
    CDropDownCombo& combo = ListOf(list);
    QString& text = TextOf(list);
    const std::int32_t i = combo.currentIndex();
    CodeOf(list) = EntryValue(list, i);
    if (i != -1) {
        text = combo.itemText(i);
        return CodeOf(list);
    }
    const QSignalBlocker blocker(combo);
    combo.clear();
    combo.addItem(text);
    SelectListIndex(combo, 0);
    return std::nullopt;
}

void CControlPanel::OnCbnCloseup(ListId list)
{
    const auto value = TakeListChoice(list);
    if (!value)
        return;
    const CListTarget& target = kListTargets[static_cast<std::size_t>(list)];
    std::optional<ESetCommand> sent = target.command;
    if (target.blcMode2) {
        // The camera keeps one window per compensation mode; with compensation
        // off (or a mode without a window) the choice is only remembered.
        switch (CodeOf(ListId::BlcMode).value_or(0) & 3) {
        case 1: break;
        case 2: sent = target.blcMode2; break;
        default: sent.reset(); break;
        }
    }
    if (sent)
        Camera().Set(*sent, *value);
    // Kept in the entry of the register it went to, so SAVE stores a mode 2
    // window as mode 2's; one only remembered is kept as mode 1's, which the
    // refresh shows.
    RecordSetting(EntryOf(sent.value_or(target.command)), *value);
}

void CControlPanel::OnCbnCloseupShutterMode()
{
    OnCbnCloseup(ListId::ShutterMode);
    EnableShutterLimits();
    for (const ListId limit : {ListId::MaxShutter, ListId::MinShutter})
        ShowListCode(limit);
}

void CControlPanel::OnCbnCloseupWbMode()
{
    const auto value = TakeListChoice(ListId::WbMode);
    if (!value)
        return; // nothing chosen: the camera, the copy and the enabling stay as they were
    // The one-shot white balance is the "PWB" button's job; the list only shows it.
    if (*value != kWbAwcSetAndRun)
        Camera().SetWhiteBalanceMode(*value);
    RecordSetting(ListEntry(ListId::WbMode), *value);
    // Both AWC modes take the push button, as the refresh shows them.
    ApplyWhiteBalanceEnabling(*value);
}

} // namespace zarnix
