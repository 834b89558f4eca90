// The control panel: one dialog whose controls mirror the camera's live
// settings. Every operation makes its own camera command object with the
// current camera address; what lasts between operations is the state record
// below, above all the camera address and the settings copy.
#pragma once

#include <QDialog>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

#include "camera/camera_control.h"
#include "link/context.h"
#include "panel/long_work.h"

class QAbstractButton;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSlider;

namespace zarnix {

class CDropDownCombo;

class CMyQuorel_controller_r2_1Dlg : public QDialog {
    Q_OBJECT
public:
    explicit CMyQuorel_controller_r2_1Dlg(CLinkContext& context, QWidget* parent = nullptr);

    // Copies controls into members (`save`) or members into controls.
    bool UpdateData(bool save = true);
    void DoDataExchange(bool save);

    // Start-up, before the window first shows: defaults, the search, the refresh.
    bool OnInitDialog();
    void OnBnClickedSearchAddress();
    void OnBnClickedConnect();
    void RefreshFromCamera();

    void ShowWhiteBalanceSettings();
    void ShowShutterSettings();
    void ShowDayNightSettings();
    void ShowBlcSettings();
    void ShowDirectRegister();
    void ShowPixelSlot();
    void EnableWhiteBalanceControls();

    // The eleven fill routines: empty the list, add its entries, reselect by its text.
    void FillShutterModeList();
    void FillMaxShutterList();
    void FillMinShutterList();
    void FillSensUpModeList();
    void FillDnModeList();
    void FillColourBurstList();
    void FillBlcModeList();
    void FillBlcGainList();
    void FillBlcWindowPosList();
    void FillBlcWindowSizeList();
    void FillWbModeList();

    // Opening a list refills it, so it always shows its full set of entries.
    void OnCbnDropdownShutterMode() { FillShutterModeList(); }
    void OnCbnDropdownMaxShutter() { FillMaxShutterList(); }
    void OnCbnDropdownMinShutter() { FillMinShutterList(); }
    void OnCbnDropdownSensUpMode() { FillSensUpModeList(); }
    void OnCbnDropdownDnMode() { FillDnModeList(); }
    void OnCbnDropdownColourBurst() { FillColourBurstList(); }
    void OnCbnDropdownBlcMode() { FillBlcModeList(); }
    void OnCbnDropdownBlcGain() { FillBlcGainList(); }
    void OnCbnDropdownBlcWindowPos() { FillBlcWindowPosList(); }
    void OnCbnDropdownBlcWindowSize() { FillBlcWindowSizeList(); }
    void OnCbnDropdownWbMode() { FillWbModeList(); }
    // Typing into these lists' text changes nothing by itself.
    void OnCbnEditchangeShutterMode() {}
    void OnCbnEditchangeMinShutter() {}

    QWidget* Item(int id) const;

    // Keeps `value` as the settings copy's entry for register 0x30:`entry` and marks
    // it known: read from the camera or written to it by this window.
    void RecordSetting(std::uint8_t entry, std::uint16_t value);

    // ---- Selection handlers: panel/list_handlers.cpp ----
    // A list sends its entry when it closes, never when its selection changes.
    void OnCbnCloseupShutterMode();
    void OnCbnCloseupMaxShutter();
    void OnCbnCloseupMinShutter();
    void OnCbnCloseupSensUpMode();
    void OnCbnCloseupDnMode();
    void OnCbnCloseupColourBurst();
    void OnCbnCloseupBlcMode();
    void OnCbnCloseupBlcGain();
    void OnCbnCloseupBlcWindowPos();
    void OnCbnCloseupBlcWindowSize();
    void OnCbnCloseupWbMode();
    // The steps every list's close-up shares, for the list with control id `listId`:
    // take the choice, send its value, keep it in the settings copy.
    void SendListChoice(int listId);
    // ---- end of selection handlers ----

    // ---- Sliders and value boxes: panel/slider_handlers.cpp ----
    // Every notification of the 23 sliders, as a horizontal scroll code (0 line
    // left to 8 end of scroll; 4 is the thumb's release after a drag), the thumb
    // position and the slider. Only the release writes to the camera; steps,
    // page clicks and tracking merely move the thumb.
    void OnHScroll(unsigned nSBCode, unsigned nPos, QSlider* pScrollBar);

    // The value boxes' edit handlers; each runs on every edit by the operator.
    void OnChangeDigitalGainY();
    void OnChangeDigitalGainC();
    void OnChangeBrightness();
    void OnChangeAnalogGain();
    void OnChangeAexReference();
    void OnChangeLowLum();
    void OnChange3dnrLevel();
    void OnChange3dnrAgcStart();
    void OnChangeSharpness();
    void OnChangeDnDelay();
    void OnChangeDnStart();
    void OnChangeDnStop();
    void OnChangeHsblcLevel();
    void OnChangeSuLevel();
    void OnChangeDdLevel();
    void OnChangeZoomFactor();
    void OnChangePan();
    void OnChangeTilt();
    void OnChangeComDelay();


private:
    // The box handlers differ only in their row of the box table.
    void ChangeValueBox(int boxId);

public:
    // ---- end of sliders and value boxes ----

    // ---- Buttons and check boxes: panel/button_handlers.cpp ----
    // The camera's on-screen menu: four arrow keys and Enter, and the menu switch.
    void OnBnClickedOsdUp();
    void OnBnClickedOsdDown();
    void OnBnClickedOsdLeft();
    void OnBnClickedOsdRight();
    void OnBnClickedOsdEnter();
    void OnBnClickedOsdControl();
    // Image and exposure switches.
    void OnBnClickedMirror();
    void OnBnClickedVFlip();
    void OnBnClickedIrisOff();
    void OnBnClickedPwb();
    void OnBnClicked3dnrOnOff();
    void OnBnClicked3dnrAuto();
    void OnBnClickedZoomOnOff();
    void OnBnClickedDayNightActive();
    // Automatic pixel-defect correction.
    void OnBnClickedStartCorrection();
    void OnBnClickedClearAll();
    void OnBnClickedShowCorrected();
    void OnBnClickedAutoFieldOdd();
    void OnBnClickedAutoFieldEven();
    // Manual pixel-defect correction: field, address slot, marker, assignment.
    void OnBnClickedManualFieldOdd();
    void OnBnClickedManualFieldEven();
    void OnBnClickedAddressPlus();
    void OnBnClickedAddressMin();
    void OnBnClickedAssignPixel();
    void OnBnClickedHorMarkerMinus();
    void OnBnClickedHorMarkerPlus();
    void OnBnClickedVertMarkerMinus();
    void OnBnClickedVertMarkerPlus();
    struct CMarkerAxis; // one marker's position, slider, range and register pair

private:
    int ButtonChecked(int id) const;
    void SendRecorded(ESetCommand command, std::uint16_t sent, std::uint16_t recorded);
    void SendScanningMode();
    void Send3dnrMode();
    void SelectAutoField(std::uint16_t code);
    void SelectManualField(std::uint8_t field);
    void StepMarker(const CMarkerAxis& axis, int step);
    // A marker position goes out as its high register, then its low one, each
    // followed by the camera's settling pause; both are recorded.
    void WriteMarkerPair(ESetCommand highCommand, std::uint16_t high, ESetCommand lowCommand, std::uint16_t low);

public:
    // ---- end of buttons and check boxes ----

    // ---- Direct I2C panel: panel/direct_panel.cpp ----
    // Any register of any bank by hand; the settings copy never follows these.
    void OnEnChangeDeviceAddr();
    void OnEnChangeRegisterAddr();
    void OnEnChangeData();
    void OnBnClickedRegisterPlus();
    void OnBnClickedRegisterMinus();
    void OnBnClickedDataPlus();
    void OnBnClickedDataMinus();
    void OnBnClickedDirectWrite();
    void OnBnClickedDirectRead();
    // One step of the register index, then (outside the live bank) its content.
    void StepDirectIndex(bool up);
    // One wrapping step of the data byte; nothing is sent.
    void StepDirectData(bool up);
    // ---- end of direct I2C panel ----

    // ---- File control, SAVE and long operations: panel/file_control.cpp ----
    void OnBnClickedSave();
    void OnEnChangeFileName();
    void OnBnClickedBrowse();
    void OnBnClickedFileToCamera();
    void OnBnClickedCameraToFile();
    void OnBnClickedAllRegisters();
    // Runs one transfer; while it runs the button reads "Stop" and stops it.
    void OnBnClickedStart();
    void CameraToFile();
    void FileToCamera();
    // Shows the direction Start will take on the two radio buttons.
    void ShowTransferDirection();
    // One step of the progress bar, from its maximum back to its minimum.
    void StepProgress();

    // Asks the operator before something that cannot be undone; true for yes.
    // A question box by default; tests answer in its place.
    std::function<bool(const QString& question)> m_confirm;
    // Lets the operator pick a settings file: an existing one to write into the
    // camera, an existing or a new one to copy the camera into. Empty: cancelled.
    std::function<QString(bool cameraToFile)> m_chooseFile;

    // Keeps the window painting while long operations hold off its input; every
    // camera operation of the window runs on its context (m_context).
    CLongWork m_longWork;
    bool m_bStopRequested = false; // the operator pressed "Stop" during a transfer
    bool m_bTransferRunning = false;

    // Closing the window during SAVE or a transfer: the stop check of each, asked
    // between two registers. A close since the last check puts `question`; yes
    // stops the operation there, and the window closes once it has ended.
    bool StopRequested(const QString& question);
    // ---- end of file control ----

    // Control objects.
    QSlider* m_sliderDigitalGainY = nullptr;
    QSlider* m_sliderDigitalGainC = nullptr;
    QSlider* m_sliderBrightness = nullptr;
    QSlider* m_sliderDnDelay = nullptr;
    QSlider* m_sliderDnStart = nullptr;
    QSlider* m_sliderDnStop = nullptr;
    QSlider* m_sliderSharpness = nullptr;
    QSlider* m_sliderHsblcLevel = nullptr;
    QSlider* m_sliderRGain = nullptr;
    QSlider* m_sliderBGain = nullptr;
    QSlider* m_sliderAexRef = nullptr;
    QSlider* m_sliderAnalogGain = nullptr;
    QSlider* m_sliderLowLum = nullptr;
    QSlider* m_slider3dnrLevel = nullptr;
    QSlider* m_slider3dnrAgcStart = nullptr;
    QSlider* m_slider3dnrAgcStop = nullptr;
    QSlider* m_sliderSuLevel = nullptr;
    QSlider* m_sliderDdLevel = nullptr;
    QSlider* m_sliderMarkerH = nullptr;
    QSlider* m_sliderMarkerV = nullptr;
    QSlider* m_sliderZoom = nullptr;
    QSlider* m_sliderPan = nullptr;
    QSlider* m_sliderTilt = nullptr;
    CDropDownCombo* m_comboShutterMode = nullptr;
    CDropDownCombo* m_comboDnMode = nullptr;
    CDropDownCombo* m_comboColourBurst = nullptr;
    CDropDownCombo* m_comboSensUpMode = nullptr;
    CDropDownCombo* m_comboBlcMode = nullptr;
    CDropDownCombo* m_comboBlcGain = nullptr;
    CDropDownCombo* m_comboBlcWindowPos = nullptr;
    CDropDownCombo* m_comboWbMode = nullptr;
    CDropDownCombo* m_comboMaxShutter = nullptr;
    CDropDownCombo* m_comboBlcWindowSize = nullptr;
    CDropDownCombo* m_comboMinShutter = nullptr;
    QPushButton* m_btnStartCorrection = nullptr;
    QPushButton* m_btnClearAll = nullptr;
    QProgressBar* m_progress = nullptr;

    // Exchanged with the controls.
    QString m_strShutterMode, m_strSensUpMode, m_strDnMode, m_strColourBurst, m_strBlcMode, m_strBlcGain,
        m_strBlcWindowSize, m_strBlcWindowPos, m_strMaxShutter, m_strMinShutter, m_strWbMode;
    int m_bMirror = 0, m_bVFlip = 0, m_bIrisOff = 0, m_bDayNightActive = 0, m_bOsdControl = 0, m_b3dnrOn = 0,
        m_b3dnrAuto = 0, m_bShowCorrected = 0, m_bZoomOn = 0, m_bAllRegisters = 0;
    QString m_strDigitalGainY, m_strDigitalGainC, m_strBrightness, m_strDnDelay, m_strDnStart, m_strDnStop,
        m_strSharpness, m_strHsblcLevel, m_strComDelay, m_strRGain, m_strBGain, m_strAexRef, m_strAnalogGain,
        m_strLowLum, m_str3dnrLevel, m_str3dnrAgcStart, m_str3dnrAgcStop, m_strSuLevel, m_strDdLevel,
        m_strPixelAddress, m_strZoom, m_strPan, m_strTilt, m_strCameraAddress, m_strFileEdit, m_strDeviceAddr,
        m_strRegisterAddr, m_strData;

    // Plain state; set by the start-up and the refresh before anything reads it.
    std::array<std::uint16_t, kShadowSize> m_awSettings{};
    // Whether each settings entry holds a value read from the camera or set by the
    // operator; 0x00FF is a byte like any other, so it cannot mark an unknown entry.
    std::array<bool, kShadowSize> m_abSettingKnown{};
    std::uint16_t m_wCameraAddress = 0;
    std::int32_t m_nShutterMode = 0, m_nSensUpMode = 0, m_nDnMode = 0, m_nColourBurst = 0, m_nBlcMode = 0,
                 m_nBlcGain = 0;
    std::int32_t m_nBlcWindowSize = 0; // the camera's size code, not a list index
    std::int32_t m_nBlcWindowPos = 0;  // the camera's position code, not a list index
    std::int32_t m_nMinShutter = 0, m_nMaxShutter = 0, m_nWbMode = 0;
    std::uint8_t m_bCameraToFile = 0;
    QString m_strFileName;
    std::int32_t m_nHorMarker = 0;    // 158 to 909
    std::int32_t m_nVertMarker = 0;   // 19 to 310
    std::uint8_t m_nManualField = 0;  // 0 "Odd", 1 "Even"
    std::int32_t m_nPixelSlot = 0;    // 0 "Off", 1 to 4 "addr1" to "addr4"
    std::uint16_t m_wComDelay = 0;
    std::uint16_t m_wDirectBank = 0, m_wDirectIndex = 0, m_wDirectData = 0;

    void setVisible(bool visible) override;

    // The entry that opens the About box, offered in the window's context menu and on F1.
    static constexpr const char* kAboutEntry = "&About Quorel_controller_r2_1...";

signals:
    void aboutRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

    // A camera command object for one operation, aimed at the current camera.
    CCameraControl Camera() const;
    void Enable(std::initializer_list<int> ids, bool enable);
    void Check(int id, bool checked);
    void ApplyWhiteBalanceEnabling(std::int32_t mode);

    // The injected services, the clock and messages seen through m_longWork.
    CLinkContext& m_context;

private:
    // Binds each control's notification to its handler, one part per concern.
    void ConnectMessageMap();
    void ConnectListHandlers();
    void ConnectSliderHandlers();
    void ConnectButtonHandlers();
    void ConnectDirectPanel();
    void ConnectFileControl();

    bool m_bInitDone = false;
};

} // namespace zarnix
