// The eleven close-up handlers: the chosen entry goes to the camera at once.
#include <QSignalBlocker>

#include <optional>

#include "panel/drop_down_combo.h"
#include "panel/main_dialog.h"
#include "panel/option_lists.h"

namespace zarnix {

namespace {

using CDlg = CMyQuorel_controller_r2_1Dlg;

// What the window keeps of each list: the entry's text and its index.
struct CListMembers {
    ListId list;
    CDropDownCombo* CDlg::*combo;
    QString CDlg::*text;
    std::int32_t CDlg::*index;
};
constexpr CListMembers kListMembers[] = {
    {ListId::ShutterMode, &CDlg::m_comboShutterMode, &CDlg::m_strShutterMode, &CDlg::m_nShutterMode},
    {ListId::MaxShutter, &CDlg::m_comboMaxShutter, &CDlg::m_strMaxShutter, &CDlg::m_nMaxShutter},
    {ListId::MinShutter, &CDlg::m_comboMinShutter, &CDlg::m_strMinShutter, &CDlg::m_nMinShutter},
    {ListId::SensUpMode, &CDlg::m_comboSensUpMode, &CDlg::m_strSensUpMode, &CDlg::m_nSensUpMode},
    {ListId::DnMode, &CDlg::m_comboDnMode, &CDlg::m_strDnMode, &CDlg::m_nDnMode},
    {ListId::ColourBurst, &CDlg::m_comboColourBurst, &CDlg::m_strColourBurst, &CDlg::m_nColourBurst},
    {ListId::BlcMode, &CDlg::m_comboBlcMode, &CDlg::m_strBlcMode, &CDlg::m_nBlcMode},
    {ListId::BlcGain, &CDlg::m_comboBlcGain, &CDlg::m_strBlcGain, &CDlg::m_nBlcGain},
    {ListId::BlcWindowPos, &CDlg::m_comboBlcWindowPos, &CDlg::m_strBlcWindowPos, &CDlg::m_nBlcWindowPos},
    {ListId::BlcWindowSize, &CDlg::m_comboBlcWindowSize, &CDlg::m_strBlcWindowSize, &CDlg::m_nBlcWindowSize},
    {ListId::WbMode, &CDlg::m_comboWbMode, &CDlg::m_strWbMode, &CDlg::m_nWbMode},
};

// Where a list's value goes on the camera and in the settings copy (the white
// balance list has its own handler).
struct CListTarget {
    ListId list;
    ESetCommand command;                 // for the BLC window: the register of BLC mode 1
    std::optional<ESetCommand> blcMode2; // the BLC window's register of BLC mode 2
    std::uint8_t entry;                  // settings entry that keeps the value
};
// The shutter limits are kept crosswise to the registers they write: the
// refresh shows entry 0x25 in the Max Shutter list, and SAVE stores the entries
// where they stand.
constexpr CListTarget kListTargets[] = {
    {ListId::ShutterMode, ESetCommand::SetShutterMode, std::nullopt, 0x00},
    {ListId::MaxShutter, ESetCommand::SetMaxShutter, std::nullopt, 0x25},
    {ListId::MinShutter, ESetCommand::SetMinShutter, std::nullopt, 0x26},
    {ListId::SensUpMode, ESetCommand::SetSensUpMode, std::nullopt, 0x01},
    {ListId::DnMode, ESetCommand::SetDayNightMode, std::nullopt, 0x20},
    {ListId::ColourBurst, ESetCommand::SetColourBurst, std::nullopt, 0x21},
    {ListId::BlcMode, ESetCommand::SetBlcMode, std::nullopt, 0x10},
    {ListId::BlcGain, ESetCommand::SetBlcGain, std::nullopt, 0x11},
    {ListId::BlcWindowPos, ESetCommand::SetBlcWindowPos1, ESetCommand::SetBlcWindowPos2, 0x13},
    {ListId::BlcWindowSize, ESetCommand::SetBlcWindowSize1, ESetCommand::SetBlcWindowSize2, 0x14},
};

template <class Row, std::size_t N>
const Row& RowOf(const Row (&rows)[N], ListId list)
{
    for (const Row& row : rows)
        if (row.list == list)
            return row;
    return rows[0]; // not reached: each handler asks only for a list its table has
}

// The one-shot white balance (AWC set and run) is the "PWB" button's job; the
// list only shows it.
constexpr std::int32_t kWbAwcSetAndRunIndex = 5;
constexpr std::uint8_t kWbEntry = 0x08;

constexpr int Id(ListId list) { return static_cast<int>(list); }

constexpr int kMaxShutterList = 1035;
constexpr int kMinShutterList = 1045;

// Takes the list's choice into its members and gives the value its entry
// stands for. With no entry chosen (the text member matched none when the list
// was rebuilt) there is no value: the list is left holding just its text until
// it is next opened, and nothing is sent.
std::optional<std::uint16_t> TakeListChoice(CDlg& dlg, ListId list)
{
    const CListMembers& members = RowOf(kListMembers, list);
    CDropDownCombo& combo = *(dlg.*members.combo);
    QString& text = dlg.*members.text;
    const std::int32_t i = combo.currentIndex();
    dlg.*members.index = i;
    if (i != -1) {
        text = combo.itemText(i);
        return EntryValue(list, i);
    }
    const QSignalBlocker blocker(combo);
    combo.clear();
    combo.addItem(text);
    SelectListIndex(combo, 0);
    return std::nullopt;
}

} // namespace

void CMyQuorel_controller_r2_1Dlg::SendListChoice(int listId)
{
    const auto list = static_cast<ListId>(listId);
    const auto value = TakeListChoice(*this, list);
    if (!value)
        return;
    const CListTarget& target = RowOf(kListTargets, list);
    if (!target.blcMode2) {
        Camera().Set(target.command, *value);
    } else {
        // The camera keeps one window per compensation mode; with compensation
        // off (or a mode without a window) the choice is only remembered.
        switch (m_nBlcMode & 3) {
        case 1: Camera().Set(target.command, *value); break;
        case 2: Camera().Set(*target.blcMode2, *value); break;
        default: break;
        }
    }
    RecordSetting(target.entry, *value);
}

void CMyQuorel_controller_r2_1Dlg::OnCbnCloseupShutterMode()
{
    SendListChoice(Id(ListId::ShutterMode));
    // The limits only apply in limited automatic mode.
    Enable({kMaxShutterList, kMinShutterList}, m_nShutterMode == kShutterLimitedAutoIndex);
    FillMaxShutterList();
    SelectListIndex(*m_comboMaxShutter, m_nMaxShutter);
    FillMinShutterList();
    SelectListIndex(*m_comboMinShutter, m_nMinShutter);
}

void CMyQuorel_controller_r2_1Dlg::OnCbnCloseupMaxShutter() { SendListChoice(Id(ListId::MaxShutter)); }
void CMyQuorel_controller_r2_1Dlg::OnCbnCloseupMinShutter() { SendListChoice(Id(ListId::MinShutter)); }
void CMyQuorel_controller_r2_1Dlg::OnCbnCloseupSensUpMode() { SendListChoice(Id(ListId::SensUpMode)); }
void CMyQuorel_controller_r2_1Dlg::OnCbnCloseupDnMode() { SendListChoice(Id(ListId::DnMode)); }
void CMyQuorel_controller_r2_1Dlg::OnCbnCloseupColourBurst() { SendListChoice(Id(ListId::ColourBurst)); }
// The window settings are not sent again here: the camera keeps each mode's own.
void CMyQuorel_controller_r2_1Dlg::OnCbnCloseupBlcMode() { SendListChoice(Id(ListId::BlcMode)); }
void CMyQuorel_controller_r2_1Dlg::OnCbnCloseupBlcGain() { SendListChoice(Id(ListId::BlcGain)); }
void CMyQuorel_controller_r2_1Dlg::OnCbnCloseupBlcWindowPos() { SendListChoice(Id(ListId::BlcWindowPos)); }
void CMyQuorel_controller_r2_1Dlg::OnCbnCloseupBlcWindowSize() { SendListChoice(Id(ListId::BlcWindowSize)); }

void CMyQuorel_controller_r2_1Dlg::OnCbnCloseupWbMode()
{
    const auto value = TakeListChoice(*this, ListId::WbMode);
    if (!value)
        return; // nothing chosen: the camera, the copy and the enabling stay as they were
    if (m_nWbMode != kWbAwcSetAndRunIndex)
        Camera().SetWhiteBalanceMode(*value);
    RecordSetting(kWbEntry, *value);
    // Both AWC modes take the push button, as the refresh shows them.
    ApplyWhiteBalanceEnabling(m_nWbMode);
}

void CMyQuorel_controller_r2_1Dlg::ConnectListHandlers()
{
    const struct {
        CDropDownCombo* list;
        void (CDlg::*onCloseUp)();
    } closeUps[] = {
        {m_comboShutterMode, &CDlg::OnCbnCloseupShutterMode}, {m_comboMaxShutter, &CDlg::OnCbnCloseupMaxShutter},
        {m_comboMinShutter, &CDlg::OnCbnCloseupMinShutter}, {m_comboSensUpMode, &CDlg::OnCbnCloseupSensUpMode},
        {m_comboDnMode, &CDlg::OnCbnCloseupDnMode}, {m_comboColourBurst, &CDlg::OnCbnCloseupColourBurst},
        {m_comboBlcMode, &CDlg::OnCbnCloseupBlcMode}, {m_comboBlcGain, &CDlg::OnCbnCloseupBlcGain},
        {m_comboBlcWindowPos, &CDlg::OnCbnCloseupBlcWindowPos},
        {m_comboBlcWindowSize, &CDlg::OnCbnCloseupBlcWindowSize}, {m_comboWbMode, &CDlg::OnCbnCloseupWbMode},
    };
    // Qt hides a list's popup before it applies the entry picked there, so the
    // handler runs once control is back in the event loop and reads the pick.
    for (const auto& entry : closeUps)
        connect(entry.list, &CDropDownCombo::closeUp, this, entry.onCloseUp, Qt::QueuedConnection);
}

} // namespace zarnix
