// Every control tells the operator which register it writes and what the camera
// takes there ("Brightness: 30:04, 00-ff"); the others say what they do.
#include <QAbstractButton>
#include <QLineEdit>
#include <QSlider>

#include <algorithm>

#include "panel/control_panel.h"
#include "panel/drop_down_combo.h"
#include "panel/panel_tables.h"
#include "ui_control_panel.h"

namespace zarnix {

namespace {

using UI = Ui::ControlPanel;
using C = ESetCommand;

QString Hex2(unsigned value) { return QString::asprintf("%02x", value); }

QString Register(ESetCommand command) { return QStringLiteral("30:") + Hex2(EntryOf(command)); }

QString SettingText(ESetCommand command) { return QString::fromUtf8(SetCommandInfo(command).setting); }

// A register with a numeric range: "Brightness: 30:04, 00-ff".
QString RangeTip(ESetCommand command, const QString& registers, unsigned low, unsigned high)
{
    return QStringLiteral("%1: %2, %3-%4").arg(SettingText(command), registers, Hex2(low), Hex2(high));
}

// A register whose values are named: "Scanning mode: 30:05, 0-3: bit 0 mirror, bit 1 V-flip".
QString ValuesTip(ESetCommand command)
{
    return QStringLiteral("%1: %2, %3").arg(SettingText(command), Register(command),
                                            QString::fromUtf8(SetCommandInfo(command).values));
}

} // namespace

void CControlPanel::SetToolTips()
{
    UI& ui = *m_ui;
    for (const CSliderRow& row : SliderRows()) {
        QSlider* slider = ui.*row.slider;
        QString registers = Register(row.command);
        if (row.action == ESliderAction::Marker)
            registers += QStringLiteral("/") + Hex2(EntryOf(row.low));
        const auto low = static_cast<unsigned>(row.minimum), high = static_cast<unsigned>(row.maximum);
        slider->setToolTip(RangeTip(row.command, registers, low, high));
        if (row.box)
            (ui.*row.box)->setToolTip(slider->toolTip()); // a box that only shows the slider
        if (row.action == ESliderAction::Marker) {
            const bool horizontal = row.command == C::SetHorMarkerHigh;
            for (QWidget* step : {horizontal ? ui.horMarkerMinusButton : ui.vertMarkerMinusButton,
                                  horizontal ? ui.horMarkerPlusButton : ui.vertMarkerPlusButton})
                step->setToolTip(slider->toolTip());
        }
    }
    // A box that writes tells the range it takes.
    for (const CBoxRow& row : BoxRows())
        if (row.slider)
            (ui.*row.box)->setToolTip(RangeTip(row.command, Register(row.command), row.floor, row.limit));
    for (const CListRow& row : ListRows()) {
        const CListRegisters target = ListRegisters(row.id);
        QString registers = Register(target.command);
        if (target.blcMode2)
            registers += QStringLiteral("/") + Hex2(EntryOf(*target.blcMode2));
        unsigned low = 0xFFFF, high = 0;
        for (const COptionEntry& entry : OptionList(row.id).entries) {
            low = std::min<unsigned>(low, entry.value);
            high = std::max<unsigned>(high, entry.value);
        }
        (ui.*row.list)->setToolTip(RangeTip(target.command, registers, low, high));
    }
    const std::pair<QWidget*, ESetCommand> buttons[] = {
    {ui.mirrorCheck, C::SetScanningMode},      {ui.vFlipCheck, C::SetScanningMode},
    {ui.irisOffCheck, C::SetIris},             {ui.pwbButton, C::SetWhiteBalanceMode},
    {ui.dnrOnOffCheck, C::Set3dnrMode},        {ui.dnrAutoCheck, C::Set3dnrMode},
    {ui.zoomOnOffCheck, C::SetZoomOnOff},      {ui.osdControlCheck, C::SetOsdControl},
    {ui.osdUpButton, C::SendOsdKey},           {ui.osdDownButton, C::SendOsdKey},
    {ui.osdLeftButton, C::SendOsdKey},         {ui.osdRightButton, C::SendOsdKey},
    {ui.osdEnterButton, C::SendOsdKey},        {ui.startCorrectionButton, C::SetPixelCorrection},
    {ui.clearAllButton, C::SetPixelCorrection}, {ui.showCorrectedCheck, C::SetShowCorrected},
    {ui.autoFieldOddRadio, C::SetAutoField},   {ui.autoFieldEvenRadio, C::SetAutoField},
    {ui.manualFieldOddRadio, C::SetManualField}, {ui.manualFieldEvenRadio, C::SetManualField},
    {ui.pixelAddressBox, C::SetPixelAddress},  {ui.addressPlusButton, C::SetPixelAddress},
    {ui.addressMinButton, C::SetPixelAddress}, {ui.assignPixelButton, C::AssignPixel},
    };
    for (const auto& [control, command] : buttons)
        control->setToolTip(ValuesTip(command));
    const std::pair<QWidget*, const char*> others[] = {
    {ui.searchAddressButton, "Search I2C address: 70 first, then every even address 00-fe"},
    {ui.cameraAddressBox, "I2C address camera: where the search found the camera"},
    {ui.comDelayBox, "Com.Delay: 00-ff"},
    {ui.dayNightActiveCheck, "Day Night mode active"},
    {ui.connectButton, "Connect: reads back 30:00-30:4d and shows it"},
    {ui.saveButton, "SAVE: stores 30:00-30:30 in the camera, kept over power-off"},
    {ui.fileNameBox, "File name: a .qcs settings file"},
    {ui.browseButton, "Browse: choose a .qcs settings file"},
    {ui.fileToCameraRadio, "File to camera: writes the file into the camera, checks and stores it"},
    {ui.cameraToFileRadio, "Camera to File: reads the camera's settings into the file"},
    {ui.compareWithFileRadio, "Compare with file: lists the registers whose value in the camera differs from the "
                              "file; writes nothing"},
    {ui.allRegistersCheck, "all Registers: the ISP and Stat blocks too, not only the Eeprom block"},
    {ui.startButton, "Start: runs the transfer or the comparison; while it runs, Stop ends it"},
    {ui.deviceAddressBox, "device addr: the register bank, 00-ff"},
    {ui.registerAddressBox, "register addr: 00-ff"},
    {ui.registerPlusButton, "register addr +: the next register"},
    {ui.registerMinusButton, "register addr -: the register before"},
    {ui.dataBox, "data: 00-ff"},
    {ui.dataPlusButton, "data +: one more"},
    {ui.dataMinusButton, "data -: one less"},
    {ui.directWriteButton, "write: data into device addr:register addr"},
    {ui.directReadButton, "read: device addr:register addr into data"},
    {ui.okButton, "OK: closes the window"},
    {ui.cancelButton, "Cancel: closes the window"},
    };
    for (const auto& [control, tip] : others)
        control->setToolTip(QString::fromUtf8(tip));
}

} // namespace zarnix
