// The control panel: one dialog whose controls mirror the camera's live
// settings, laid out in its Designer form (control_panel.ui). Every operation
// makes its own camera command object with the camera's address; what lasts
// between operations is the state below, above all that address and the
// settings copy. What a control shows is read from the control itself.
#pragma once

#include <QDialog>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "backend/camera_session.h"
#include "camera/camera_control.h"
#include "link/context.h"
#include "panel/long_work.h"
#include "panel/option_lists.h"

class QAbstractButton;
class QLineEdit;
class QScrollArea;
class QSlider;

namespace Ui {
class ControlPanel;
}

namespace zarnix {

class CDropDownCombo;
struct CBoxRow;
struct CSliderRow;

class CControlPanel : public QDialog {
    Q_OBJECT
public:
    explicit CControlPanel(CLinkContext& context, QWidget* parent = nullptr);
    ~CControlPanel() override;

    // Who picks a settings file for "Browse": a file dialog unless replaced.
    using CFileChooser = std::function<QString(bool cameraToFile)>;
    void SetFileChooser(CFileChooser chooser) { m_chooseFile = std::move(chooser); }

    // The entry that opens the About box, offered in the window's context menu and on F1.
    static constexpr const char* kAboutEntry = "&About Zarnix_controller...";

signals:
    void aboutRequested();

protected:
    // The start-up runs before the window first appears, with its search and refresh.
    void setVisible(bool visible) override;
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // ---- form and wiring: panel/control_panel.cpp ----
    void FinishForm();
    void ScrollColumns();
    // Sizes the window as it first shows, to the screen it is on.
    void FitToScreen();
    // Every control tells its register and range, or what it does: panel/tool_tips.cpp.
    void SetToolTips();
    void ConnectHandlers();
    // A camera command object for one operation, aimed at the current camera.
    CCameraControl Camera() const;
    // Keeps `value` as the settings copy's entry for register 0x30:`entry` and marks
    // it known: read from the camera or written to it by this window.
    void RecordSetting(std::uint8_t entry, std::uint16_t value);
    static void Enable(std::span<QWidget* const> widgets, bool enable);
    static void Enable(std::initializer_list<QWidget*> widgets, bool enable) { Enable({widgets.begin(), widgets.size()}, enable); }
    // "3DNR auto mode" and the level, AGC start and AGC stop sliders with their
    // boxes: what the 3DNR switch enables.
    std::array<QWidget*, 7> NoiseReductionControls() const;
    // The menu keys, which mean something to the camera only while its menu is on.
    std::array<QWidget*, 5> OsdKeys() const;

    // ---- start-up and refresh: panel/refresh.cpp ----
    void OnInitDialog();
    void OnBnClickedSearchAddress();
    void OnBnClickedConnect();
    void RefreshFromCamera();
    void ReadZoomSettings(CCameraControl& camera);
    // Sets the controls that show register 0x30:`which` from the settings copy,
    // or every control that shows a register (kEveryEntry), as the refresh does.
    static constexpr int kEveryEntry = -1;
    void ShowSettings(int which);
    void ShowLists(int which);
    void ShowDirectRegister();
    void ShowPixelSlot();
    void ApplyWhiteBalanceEnabling(std::uint16_t mode);

    // ---- option lists: panel/list_handlers.cpp ----
    CDropDownCombo& ListOf(ListId list) const;
    QString& TextOf(ListId list);
    // Rebuilds the list and reselects the entry its text names.
    void FillList(ListId list);
    // Rebuilds the list and chooses the entry of the code it stands for.
    void ShowListCode(ListId list);
    // The limits only apply in limited automatic mode; rebuilt, each keeps its entry.
    void EnableShutterLimits();
    // A list sends its entry when it closes, never when its selection changes.
    void OnCbnCloseup(ListId list);
    void OnCbnCloseupShutterMode();
    void OnCbnCloseupWbMode();
    // Takes the list's choice and gives the value its entry stands for; none
    // when nothing is chosen.
    std::optional<std::uint16_t> TakeListChoice(ListId list);
    // Puts the entry's text into the list's text, as the operator's choice.
    void SyncListTexts();

    // ---- sliders and value boxes: panel/slider_handlers.cpp ----
    // A slider writes when the operator lets go of its thumb after a drag.
    void OnSliderReleased(const CSliderRow& row);
    // While the thumb is dragged its box shows the value it would write; nothing is sent.
    void OnSliderDragged(const CSliderRow& row, int position);
    static QString SliderText(const CSliderRow& row, unsigned position);
    // A value box writes on every edit the operator makes.
    void OnBoxEdited(const CBoxRow& row);

    // ---- buttons and check boxes: panel/button_handlers.cpp ----
    void OnBnClickedOsdKey(std::uint16_t key);
    void OnBnClickedOsdControl();
    void OnBnClickedMirror();
    void OnBnClickedIrisOff();
    void OnBnClickedPwb();
    void OnBnClicked3dnrOnOff();
    void Send3dnrMode();
    void OnBnClickedZoomOnOff();
    void OnBnClickedShowCorrected();
    void OnBnClickedPixelCorrection(std::uint16_t action);
    void SelectAutoField(std::uint16_t code);
    void SelectManualField(std::uint8_t field);
    void OnBnClickedAddressStep(int step);
    void OnBnClickedAssignPixel();
    void StepMarker(QSlider& slider, int step);
    void SendRecorded(ESetCommand command, std::uint16_t sent, std::uint16_t recorded);
    // A marker position goes out as its high register, then its low one, each
    // followed by the camera's settling pause; both are recorded.
    void WriteMarkerPair(QSlider& slider, int position);

    // ---- direct I2C panel: panel/direct_panel.cpp ----
    // Any register of any bank by hand; a live register written here is kept in
    // the settings copy and shown as its own control would have written it.
    void OnEnChangeDeviceAddr();
    void OnEnChangeRegisterAddr();
    void OnEnChangeData();
    void StepDirectIndex(bool up);
    void StepDirectData(bool up);
    void OnBnClickedDirectWrite();
    void OnBnClickedDirectRead();

    // ---- file control, SAVE and long operations: panel/file_control.cpp ----
    void OnBnClickedSave();
    void OnEnChangeFileName();
    void OnBnClickedBrowse();
    // Runs one transfer; while it runs the button reads "Stop" and stops it.
    void OnBnClickedStart();
    ETransferResult CameraToFile();
    // `uncommitted`: after a stop, which registers hold the file's values
    // uncommitted, for the status line; the stop's box keeps its short text.
    ETransferResult FileToCamera(std::string& uncommitted);
    // What a comparison found: how many registers it compared, and those that differ.
    // Reads from the camera the registers a File to camera would write from the
    // file and compares them; writes nothing.
    ETransferResult CompareWithFile(CVerifyResult& comparison);
    // The status line after a comparison, and the registers that differ in a box.
    void ShowCompared(const QString& name, const CVerifyResult& comparison, Micros began);
    // The bar runs once from empty to full over a long operation of `steps` steps.
    void StartProgress(int steps);
    void StepProgress();
    // The bar as a long camera operation of the session drives it.
    CProgress Progress();
    // The status line under File control: what the last long operation did and
    // how long it took; the bar is emptied.
    void ShowDone(const QString& what, Micros began);
    // The status line's text, also its accessible description: its name stays
    // "Last operation", and a screen reader hears the outcome when it changes.
    void ShowOutcome(const QString& outcome);
    // Closing the window during SAVE or a transfer: the stop check of each, asked
    // between two registers. A close since the last check puts `question`; yes
    // stops the operation there, and the window closes once it has ended.
    bool StopRequested(const QString& question);

    std::unique_ptr<Ui::ControlPanel> m_ui;
    // Keeps the window painting while long operations hold off its input; every
    // camera operation of the window runs on its context (m_context).
    CLongWork m_longWork;
    CLinkContext& m_context;
    CFileChooser m_chooseFile;
    QScrollArea* m_columns = nullptr; // every control is inside it

    // The settings copy: entry i is what the window last read from or wrote to
    // register 0x30:i; SAVE stores it. Whether each entry is known: 0x00FF is a
    // byte like any other, so it cannot mark an unknown entry.
    std::array<std::uint16_t, kShadowSize> m_awSettings{};
    std::array<bool, kShadowSize> m_abSettingKnown{};
    // Where the search found the camera; the address box only shows it.
    std::uint16_t m_wCameraAddress = 0;
    // The texts the lists stand for: a list is emptied and refilled every time it
    // opens, and its text picks the entry again afterwards.
    std::array<QString, kOptionListCount> m_astrListTexts;
    // The camera code each list last stood for: what the operator chose (none:
    // nothing), what PWB sent, or what the refresh read, which may be a code the
    // list has no entry for. A list rebuilt around a text that matches no entry
    // shows that text as its only entry, which is no choice. The BLC window lists
    // send by the BLC mode's code, the white balance enabling follows its list's.
    std::array<std::optional<std::uint16_t>, kOptionListCount> m_aListCodes{};
    std::optional<std::uint16_t>& CodeOf(ListId list) { return m_aListCodes[static_cast<std::size_t>(list)]; }
    // The manual correction slot: the box shows its name, the camera takes its number.
    std::int32_t m_nPixelSlot = 0;
    // The operator's Com.Delay as the read-back takes it; it starts at 30 while the
    // box shows "30", which the box would read as 0x30.
    std::uint16_t m_wComDelay = 0;
    // The settings file Start uses: a typed name with ".qcs" added, or the path
    // Browse chose, a new one with ".qcs" added.
    QString m_strFileName;
    bool m_bStopRequested = false; // the operator pressed "Stop" during a transfer
    bool m_bTransferRunning = false;
    bool m_bInitDone = false;
    bool m_bFitted = false; // sized to its screen once, as it first showed
};

} // namespace zarnix
