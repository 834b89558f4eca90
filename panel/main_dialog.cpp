#include "panel/main_dialog.h"

#include <QAbstractButton>
#include <QContextMenuEvent>
#include <QMenu>
#include <QShortcut>
#include <QSignalBlocker>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>

#include "panel/drop_down_combo.h"
#include "panel/main_window_layout.h"

namespace zarnix {

namespace {

using CDlg = CMyQuorel_controller_r2_1Dlg;

// Members that hold a control's text: list texts and value boxes.
struct CTextBinding {
    QString CDlg::*member;
    int id;
};
constexpr CTextBinding kTextBindings[] = {
    {&CDlg::m_strShutterMode, 1002}, {&CDlg::m_strSensUpMode, 1005}, {&CDlg::m_strDnMode, 1003},
    {&CDlg::m_strColourBurst, 1004}, {&CDlg::m_strBlcMode, 1021}, {&CDlg::m_strBlcGain, 1022},
    {&CDlg::m_strBlcWindowSize, 1036}, {&CDlg::m_strBlcWindowPos, 1026}, {&CDlg::m_strMaxShutter, 1035},
    {&CDlg::m_strMinShutter, 1045}, {&CDlg::m_strWbMode, 1027},
    {&CDlg::m_strDigitalGainY, 1009}, {&CDlg::m_strDigitalGainC, 1010}, {&CDlg::m_strBrightness, 1011},
    {&CDlg::m_strDnDelay, 1013}, {&CDlg::m_strDnStart, 1014}, {&CDlg::m_strDnStop, 1016},
    {&CDlg::m_strSharpness, 1020}, {&CDlg::m_strHsblcLevel, 1024}, {&CDlg::m_strComDelay, 1025},
    {&CDlg::m_strRGain, 1030}, {&CDlg::m_strBGain, 1031}, {&CDlg::m_strAexRef, 1043},
    {&CDlg::m_strAnalogGain, 1048}, {&CDlg::m_strLowLum, 1057}, {&CDlg::m_str3dnrLevel, 1061},
    {&CDlg::m_str3dnrAgcStart, 1063}, {&CDlg::m_str3dnrAgcStop, 1065}, {&CDlg::m_strSuLevel, 1069},
    {&CDlg::m_strDdLevel, 1071}, {&CDlg::m_strPixelAddress, 1075}, {&CDlg::m_strZoom, 1085},
    {&CDlg::m_strPan, 1086}, {&CDlg::m_strTilt, 1087}, {&CDlg::m_strCameraAddress, 1092},
    {&CDlg::m_strFileEdit, 1096}, {&CDlg::m_strDeviceAddr, 1103}, {&CDlg::m_strRegisterAddr, 1104},
    {&CDlg::m_strData, 1105},
};

// Check boxes, each a 0 or 1 member.
struct CCheckBinding {
    int CDlg::*member;
    int id;
};
constexpr CCheckBinding kCheckBindings[] = {
    {&CDlg::m_bMirror, 1017}, {&CDlg::m_bVFlip, 1018}, {&CDlg::m_bIrisOff, 1033},
    {&CDlg::m_bDayNightActive, 1012}, {&CDlg::m_bOsdControl, 1054}, {&CDlg::m_b3dnrOn, 1058},
    {&CDlg::m_b3dnrAuto, 1059}, {&CDlg::m_bShowCorrected, 1072}, {&CDlg::m_bZoomOn, 1081},
    {&CDlg::m_bAllRegisters, 1108},
};

// The camera address box never holds more than a bus address.
constexpr int kCameraAddressBox = 1092;
constexpr int kCameraAddressMaxChars = 2;

// Shows a list text member the way a sorted list takes a text: the first entry
// that begins with it (case ignored) becomes the choice; a text that begins no
// entry, or an empty one, stays in the text field and chooses nothing new.
void LoadListText(QComboBox& combo, const QString& member)
{
    const QSignalBlocker blocker(combo);
    if (!member.isEmpty()) {
        for (int i = 0; i < combo.count(); ++i) {
            if (combo.itemText(i).startsWith(member, Qt::CaseInsensitive)) {
                combo.setCurrentIndex(i);
                combo.setEditText(combo.itemText(i));
                return;
            }
        }
    }
    combo.setEditText(member);
}

template <class T>
void Attach(const QWidget& dialog, T*& member, int id)
{
    member = DlgItem<T>(dialog, id);
    Q_ASSERT(member != nullptr);
}

} // namespace

CMyQuorel_controller_r2_1Dlg::CMyQuorel_controller_r2_1Dlg(CLinkContext& context, QWidget* parent)
    : QDialog(parent), m_longWork(*this, context), m_context(m_longWork.Context())
{
    BuildMainWindowLayout(*this);
    Attach(*this, m_sliderDigitalGainY, 1000);
    Attach(*this, m_sliderDigitalGainC, 1001);
    Attach(*this, m_sliderBrightness, 1006);
    Attach(*this, m_sliderDnDelay, 1007);
    Attach(*this, m_sliderDnStart, 1008);
    Attach(*this, m_sliderDnStop, 1015);
    Attach(*this, m_sliderSharpness, 1019);
    Attach(*this, m_sliderHsblcLevel, 1023);
    Attach(*this, m_sliderRGain, 1028);
    Attach(*this, m_sliderBGain, 1029);
    Attach(*this, m_sliderAexRef, 1042);
    Attach(*this, m_sliderAnalogGain, 1047);
    Attach(*this, m_sliderLowLum, 1056);
    Attach(*this, m_slider3dnrLevel, 1060);
    Attach(*this, m_slider3dnrAgcStart, 1062);
    Attach(*this, m_slider3dnrAgcStop, 1064);
    Attach(*this, m_sliderSuLevel, 1068);
    Attach(*this, m_sliderDdLevel, 1070);
    Attach(*this, m_sliderMarkerH, 1078);
    Attach(*this, m_sliderMarkerV, 1079);
    Attach(*this, m_sliderZoom, 1082);
    Attach(*this, m_sliderPan, 1083);
    Attach(*this, m_sliderTilt, 1084);
    Attach(*this, m_comboShutterMode, 1002);
    Attach(*this, m_comboDnMode, 1003);
    Attach(*this, m_comboColourBurst, 1004);
    Attach(*this, m_comboSensUpMode, 1005);
    Attach(*this, m_comboBlcMode, 1021);
    Attach(*this, m_comboBlcGain, 1022);
    Attach(*this, m_comboBlcWindowPos, 1026);
    Attach(*this, m_comboWbMode, 1027);
    Attach(*this, m_comboMaxShutter, 1035);
    Attach(*this, m_comboBlcWindowSize, 1036);
    Attach(*this, m_comboMinShutter, 1045);
    Attach(*this, m_btnStartCorrection, 1066);
    Attach(*this, m_btnClearAll, 1067);
    Attach(*this, m_progress, 1100);
    if (auto* box = DlgItem<QLineEdit>(*this, kCameraAddressBox))
        box->setMaxLength(kCameraAddressMaxChars);
    ConnectMessageMap();
    ShowTransferDirection();
    // Linux window managers offer programs no system menu; F1 and the context menu stand in.
    auto* about = new QShortcut(QKeySequence::HelpContents, this);
    connect(about, &QShortcut::activated, this, &CDlg::aboutRequested);
}

void CMyQuorel_controller_r2_1Dlg::ConnectMessageMap()
{
    const struct {
        CDropDownCombo* list;
        void (CDlg::*onDropDown)();
    } dropDowns[] = {
        {m_comboShutterMode, &CDlg::OnCbnDropdownShutterMode}, {m_comboMaxShutter, &CDlg::OnCbnDropdownMaxShutter},
        {m_comboMinShutter, &CDlg::OnCbnDropdownMinShutter}, {m_comboSensUpMode, &CDlg::OnCbnDropdownSensUpMode},
        {m_comboDnMode, &CDlg::OnCbnDropdownDnMode}, {m_comboColourBurst, &CDlg::OnCbnDropdownColourBurst},
        {m_comboBlcMode, &CDlg::OnCbnDropdownBlcMode}, {m_comboBlcGain, &CDlg::OnCbnDropdownBlcGain},
        {m_comboBlcWindowPos, &CDlg::OnCbnDropdownBlcWindowPos},
        {m_comboBlcWindowSize, &CDlg::OnCbnDropdownBlcWindowSize}, {m_comboWbMode, &CDlg::OnCbnDropdownWbMode},
    };
    for (const auto& entry : dropDowns)
        connect(entry.list, &CDropDownCombo::dropDown, this, entry.onDropDown);
    connect(m_comboShutterMode->lineEdit(), &QLineEdit::textEdited, this, &CDlg::OnCbnEditchangeShutterMode);
    connect(m_comboMinShutter->lineEdit(), &QLineEdit::textEdited, this, &CDlg::OnCbnEditchangeMinShutter);

    const struct {
        int id;
        void (CDlg::*onClicked)();
    } buttons[] = {
        {1095, &CDlg::OnBnClickedSearchAddress},
        {1034, &CDlg::OnBnClickedConnect},
    };
    for (const auto& entry : buttons)
        connect(DlgItem<QAbstractButton>(*this, entry.id), &QAbstractButton::clicked, this, entry.onClicked);

    ConnectListHandlers();
    ConnectSliderHandlers();
    ConnectButtonHandlers();
    ConnectDirectPanel();
    ConnectFileControl();
}

void CMyQuorel_controller_r2_1Dlg::RecordSetting(std::uint8_t entry, std::uint16_t value)
{
    if (entry >= kShadowSize)
        return;
    m_awSettings[entry] = value;
    m_abSettingKnown[entry] = true;
}

void CMyQuorel_controller_r2_1Dlg::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    menu.addAction(kAboutEntry, this, &CDlg::aboutRequested);
    menu.exec(event->globalPos());
}

QWidget* CMyQuorel_controller_r2_1Dlg::Item(int id) const { return GetDlgItem(*this, id); }

bool CMyQuorel_controller_r2_1Dlg::UpdateData(bool save)
{
    DoDataExchange(save);
    return true;
}

void CMyQuorel_controller_r2_1Dlg::DoDataExchange(bool save)
{
    for (const auto& binding : kTextBindings) {
        QString& member = this->*binding.member;
        QWidget* widget = Item(binding.id);
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            if (save)
                member = combo->currentText();
            else
                LoadListText(*combo, member);
        } else if (auto* box = qobject_cast<QLineEdit*>(widget)) {
            // Setting a box from here never counts as the operator's edit, so its
            // handler (on textEdited) does not write to the camera again.
            if (save)
                member = box->text();
            else if (box->text() != member)
                box->setText(member);
        }
    }
    for (const auto& binding : kCheckBindings) {
        auto* button = qobject_cast<QAbstractButton*>(Item(binding.id));
        if (!button)
            continue;
        if (save)
            this->*binding.member = button->isChecked() ? 1 : 0;
        else
            button->setChecked(this->*binding.member != 0);
    }
}

void CMyQuorel_controller_r2_1Dlg::setVisible(bool visible)
{
    // The start-up runs before the window first appears, with its search and refresh.
    if (visible && !m_bInitDone)
        OnInitDialog();
    QDialog::setVisible(visible);
}

CCameraControl CMyQuorel_controller_r2_1Dlg::Camera() const
{
    return CCameraControl(m_context, m_wCameraAddress);
}

void CMyQuorel_controller_r2_1Dlg::Enable(std::initializer_list<int> ids, bool enable)
{
    for (int id : ids)
        if (QWidget* widget = Item(id))
            widget->setEnabled(enable);
}

void CMyQuorel_controller_r2_1Dlg::Check(int id, bool checked)
{
    if (auto* button = qobject_cast<QAbstractButton*>(Item(id)))
        button->setChecked(checked);
}

} // namespace zarnix
