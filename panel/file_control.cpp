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

#include "panel/control_panel.h"
#include "panel/panel_tables.h"
#include "settings/transfer.h"
#include "ui_control_panel.h"

namespace zarnix {

namespace {

// The bar counts steps in 1 to 254 and starts again at 1; position 0 shows an empty bar.
constexpr int kProgressMin = 1;
constexpr int kProgressMax = 254;

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

// What the operator calls a live register: its setting, or its bank:index where
// no command writes it.
std::string SettingName(std::uint8_t index)
{
    for (const CSetCommand& command : kSetCommands)
        if (command.index == index)
            return command.setting;
    char text[16];
    std::snprintf(text, sizeof text, "Register %02x:%02x", kBankLive, index);
    return text;
}

std::string FilePath(const QString& name) { return QFile::encodeName(name).toStdString(); }

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
            FormatMsg(text, "Not saved: %s unknown; Connect reads camera again", SettingName(i).c_str());
            m_context.messages.Show(text);
            return;
        }
    }
    CCameraControl camera = Camera();
    m_bStopRequested = false;
    const CLongWork::CScope work(m_longWork);
    // Stopped, the camera tells which registers it stored; the others keep their old values.
    camera.StoreSettings(m_awSettings, {}, [this] {
        return StopRequested(tr("The settings are being stored. Stop it and close?\n"
                                "Registers not yet stored keep their old values."));
    });
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
    // The chosen path is used as it is, with or without the extension.
    m_ui->fileNameBox->setText(path);
    m_strFileName = path;
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
    const auto ask = [this](const QString& question) { return m_context.messages.Ask(question.toStdString()); };
    if (cameraToFile) {
        if (QFileInfo::exists(m_strFileName) &&
            !ask(tr("%1 already exists.\nReplace it with the camera's settings?").arg(m_strFileName)))
            return;
    } else {
        // The camera keeps what is written here over a power cycle.
        const QString address = QString::number(m_wCameraAddress, 16);
        if (!ask(tr("Write the settings of %1 into the camera at I2C address %2?\n"
                    "They replace the camera's own settings and are kept over power-off.")
                     .arg(m_strFileName, address)))
            return;
    }

    QProgressBar* progress = m_ui->progressBar;
    progress->setRange(kProgressMin, kProgressMax);
    progress->reset();
    {
        const QString caption = start->text();
        start->setText(tr("Stop"));
        m_bStopRequested = false;
        m_bTransferRunning = true;
        const CLongWork::CScope work(m_longWork, start);
        if (cameraToFile)
            CameraToFile();
        else
            FileToCamera();
        m_bTransferRunning = false;
        start->setText(caption);
        start->setEnabled(true);
    }
    progress->reset();
}

void CControlPanel::StepProgress()
{
    // reset() leaves the value one below the minimum, so the first step shows 1.
    QProgressBar* progress = m_ui->progressBar;
    const int next = progress->value() + 1;
    progress->setValue(next > progress->maximum() ? progress->minimum() : next);
}

void CControlPanel::CameraToFile()
{
    CSettingsTransfer transfer(m_context, m_wCameraAddress, [this] { StepProgress(); }, [this] {
        return StopRequested(tr("A transfer is running. Stop it and close?\nNo file is written."));
    });
    transfer.CameraToFile(FilePath(m_strFileName), m_ui->allRegistersCheck->isChecked());
}

void CControlPanel::FileToCamera()
{
    CSettingsTransfer transfer(m_context, m_wCameraAddress, [this] { StepProgress(); }, [this] {
        return StopRequested(tr("A transfer is running. Stop it and close?\n"
                                "The camera keeps what was written so far, uncommitted."));
    });
    transfer.FileToCamera(FilePath(m_strFileName), m_ui->allRegistersCheck->isChecked());
}

} // namespace zarnix
