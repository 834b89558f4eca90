// The File control group, SAVE, and the long operations that keep the window painting.
#include <QAbstractButton>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>

#include <algorithm>
#include <cstdio>
#include <string>

#include "backend/camera_session.h"
#include "panel/control_panel.h"
#include "panel/panel_tables.h"
#include "ui_control_panel.h"

namespace zarnix {

namespace {

const QString kExtension = QStringLiteral(".qcs");
const QString kFileFilter = QStringLiteral("Qcs files(.qcs) (*.qcs)");

// The settings file a typed name stands for. Blanks alone, or the extension
// alone, name no file: Start asks for one rather than write a hidden ".qcs".
QString SettingsFileName(const QString& typed)
{
    const QString trimmed = typed.trimmed();
    if (trimmed.isEmpty() || trimmed.compare(kExtension, Qt::CaseInsensitive) == 0)
        return {};
    return typed.endsWith(kExtension, Qt::CaseInsensitive) ? typed : typed + kExtension;
}

// What the window calls the setting of a live register, as its tooltips do (the
// tool has its own names); "" where no command writes it.
std::string WindowSettingName(std::uint8_t index)
{
    for (const CSetCommand& command : kSetCommands)
        if (command.index == index)
            return command.setting;
    return {};
}

// A live register by its setting, or by its bank:index where it has none.
std::string SettingText(std::uint8_t index)
{
    if (std::string name = WindowSettingName(index); !name.empty())
        return name;
    char text[16];
    std::snprintf(text, sizeof text, "Register %02x:%02x", kBankLive, index);
    return text;
}

std::string FilePath(const QString& name) { return QFile::encodeName(name).toStdString(); }

// What the status line says of a SAVE, from how the store ended.
QString SaveEnding(const CCameraResult& stored)
{
    switch (stored.outcome) {
    case EOutcome::Ok:
        break;
    case EOutcome::Stopped:
        return QObject::tr("SAVE not completed");
    case EOutcome::Failed:
        return QObject::tr("SAVE failed at register %1:%2: %3")
            .arg(stored.bank, 2, 16, QLatin1Char('0'))
            .arg(stored.index, 2, 16, QLatin1Char('0'))
            .arg(QString::fromLatin1(StatusText(stored.status)));
    }
    return QObject::tr("Settings stored in the camera");
}

// One line for each register that differs, as the tool lists them but with the
// window's names: "a0:04 file 90 camera 80 Brightness".
std::string DifferenceLines(const std::vector<CDifference>& differences)
{
    std::string lines;
    for (const CDifference& d : differences) {
        char line[48];
        std::snprintf(line, sizeof line, "%02x:%02x file %02x camera %02x", d.bank, d.index, d.file, d.camera);
        // The stored settings keep the live registers' settings, and their names.
        const std::string name = SettingNameOf(d).empty() ? std::string() : WindowSettingName(d.index);
        lines += line + (name.empty() ? "" : " " + name) + "\n";
    }
    return lines;
}

} // namespace

QString ChooseSettingsFile(QWidget& parent, bool cameraToFile)
{
    // Copying the camera into a file may name a new file; Start asks before it
    // replaces one, so the dialog does not ask as well.
    if (cameraToFile)
        return QFileDialog::getSaveFileName(&parent, QObject::tr("Save As"), QString(), kFileFilter, nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    return QFileDialog::getOpenFileName(&parent, QObject::tr("Open"), QString(), kFileFilter);
}

void CControlPanel::OnBnClickedSave()
{
    // After a failed read-back the settings copy holds placeholders; stored, they
    // would be what the camera wakes up with after every power cycle.
    for (const std::uint8_t i : kStoredIndexes) {
        if (!m_abSettingKnown[i]) {
            char text[kMsgBufferSize];
            FormatMsg(text, "Not saved: %s unknown; Connect reads camera again", SettingText(i).c_str());
            m_context.messages.Show(text);
            return;
        }
    }
    m_bStopRequested = false;
    const Micros began = m_context.clock.Now();
    CCameraResult stored;
    {
        const CLongWork::CScope work(m_longWork, CLongWork::EControls::Disabled);
        // Stopped, the camera tells which registers it stored; the others keep their old values.
        stored = CCameraSession(m_context, m_wCameraAddress).Store(m_awSettings, Progress(), [this] {
            return StopRequested(tr("The settings are being stored. Stop it and close?\n"
                                    "Registers not yet stored keep their old values."));
        });
    }
    ShowDone(SaveEnding(stored), began);
}

void CControlPanel::StartProgress(int steps)
{
    m_ui->progressBar->setRange(0, steps);
    m_ui->progressBar->setValue(0);
}

CProgress CControlPanel::Progress()
{
    return {[this](unsigned steps) { StartProgress(static_cast<int>(steps)); }, [this] { StepProgress(); }};
}

void CControlPanel::StepProgress()
{
    QProgressBar* progress = m_ui->progressBar;
    progress->setValue(std::min(progress->value() + 1, progress->maximum()));
}

void CControlPanel::ShowDone(const QString& what, Micros began)
{
    m_ui->progressBar->setValue(0);
    const double seconds = std::chrono::duration<double>(m_context.clock.Now() - began).count();
    ShowOutcome(tr("%1, %2 s").arg(what).arg(seconds, 0, 'f', 1));
}

bool CControlPanel::StopRequested(const QString& question)
{
    if (m_longWork.StopForClose([&] { return m_context.messages.Ask(question.toStdString()); }))
        m_bStopRequested = true;
    return m_bStopRequested;
}

void CControlPanel::OnEnChangeFileName()
{
    SyncListTexts();
    m_strFileName = SettingsFileName(m_ui->fileNameBox->text());
}

void CControlPanel::OnBnClickedBrowse()
{
    const QString path = m_chooseFile(m_ui->cameraToFileRadio->isChecked());
    if (path.isEmpty())
        return;
    // A new file gets the extension, as a typed name does; an existing one is
    // taken as it is named.
    const bool newFile = m_ui->cameraToFileRadio->isChecked() && !QFileInfo::exists(path);
    m_strFileName = newFile ? SettingsFileName(path) : path;
    m_ui->fileNameBox->setText(m_strFileName);
}

void CControlPanel::OnBnClickedStart()
{
    QPushButton* start = m_ui->startButton;
    if (m_bTransferRunning) {
        // The transfer ends after the register under way; a second press changes nothing.
        m_bStopRequested = true;
        start->setEnabled(false);
        return;
    }
    if (m_longWork.Running())
        return; // another long operation holds the window

    if (m_strFileName.isEmpty()) {
        m_context.messages.Show("Please enter file name!");
        return;
    }
    const bool cameraToFile = m_ui->cameraToFileRadio->isChecked();
    const bool compare = m_ui->compareWithFileRadio->isChecked();
    const auto ask = [this](const QString& question) { return m_context.messages.Ask(question.toStdString()); };
    if (cameraToFile) {
        if (QFileInfo::exists(m_strFileName) &&
            !ask(tr("%1 already exists.\nReplace it with the camera's settings?").arg(m_strFileName)))
            return;
    } else if (!compare) {
        // The camera keeps what is written here over a power cycle.
        const QString address = QString::number(m_wCameraAddress, 16);
        if (!ask(tr("Write the settings of %1 into the camera at I2C address %2?\n"
                    "They replace the camera's own settings and are kept over power-off.")
                     .arg(m_strFileName, address)))
            return;
    }

    const Micros began = m_context.clock.Now();
    bool done = false;
    std::string uncommitted;
    CVerifyResult comparison;
    {
        const QString caption = start->text();
        start->setText(tr("Stop"));
        m_bStopRequested = false;
        m_bTransferRunning = true;
        const CLongWork::CScope work(m_longWork, CLongWork::EControls::Disabled, start);
        const ETransferResult result = cameraToFile ? CameraToFile()
                                       : compare    ? CompareWithFile(comparison)
                                                    : FileToCamera(uncommitted);
        done = result == ETransferResult::Done;
        m_bTransferRunning = false;
        start->setText(caption);
        start->setEnabled(true);
    }
    const QString name = QFileInfo(m_strFileName).fileName();
    if (!uncommitted.empty())
        ShowDone(tr("File to camera stopped: %1").arg(QString::fromStdString(uncommitted)), began);
    else if (!done)
        ShowDone(cameraToFile ? tr("Camera to File not completed")
                 : compare    ? tr("Compare with file not completed")
                              : tr("File to camera not completed"),
                 began);
    else if (compare)
        ShowCompared(name, comparison, began);
    else if (cameraToFile)
        ShowDone(tr("%1 written, %2 values").arg(name).arg(kSettingsFileValues), began);
    else
        ShowDone(tr("%1 written into the camera, checked and stored").arg(name), began);
}

ETransferResult CControlPanel::CameraToFile()
{
    return CCameraSession(m_context, m_wCameraAddress)
        .Dump(FilePath(m_strFileName), m_ui->allRegistersCheck->isChecked(), Progress(), [this] {
            return StopRequested(tr("A transfer is running. Stop it and close?\nNo file is written."));
        })
        .outcome;
}

ETransferResult CControlPanel::FileToCamera(std::string& uncommitted)
{
    const auto stop = [this] {
        return StopRequested(tr("A transfer is running. Stop it and close?\n"
                                "The camera keeps what was written so far, uncommitted."));
    };
    const CTransferResult result = CCameraSession(m_context, m_wCameraAddress)
                                       .LoadFile(FilePath(m_strFileName), m_ui->allRegistersCheck->isChecked(),
                                                 Progress(), stop, true);
    if (result.outcome == ETransferResult::Stopped)
        uncommitted = result.uncommitted;
    return result.outcome;
}

ETransferResult CControlPanel::CompareWithFile(CVerifyResult& comparison)
{
    // A file that is no settings file is refused before the camera is read.
    comparison = CCameraSession(m_context, m_wCameraAddress)
                     .VerifyFile(FilePath(m_strFileName), m_ui->allRegistersCheck->isChecked(), Progress(), [this] {
                         return StopRequested(
                             tr("A comparison is running. Stop it and close?\nNothing is written to the camera."));
                     });
    return comparison.transfer.outcome;
}

void CControlPanel::ShowCompared(const QString& name, const CVerifyResult& comparison, Micros began)
{
    if (comparison.differences.empty()) {
        ShowDone(tr("%1: the camera matches (%2 registers)").arg(name).arg(comparison.compared), began);
        return;
    }
    const QString outcome =
        tr("%1: %2 of %3 registers differ").arg(name).arg(comparison.differences.size()).arg(comparison.compared);
    ShowDone(outcome, began);
    m_context.messages.ShowList(outcome.toStdString(), DifferenceLines(comparison.differences));
}

} // namespace zarnix
