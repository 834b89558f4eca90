#include "panel/control_panel.h"

#include <QContextMenuEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMenu>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStyleOptionComboBox>

#include "panel/drop_down_combo.h"
#include "panel/panel_tables.h"
#include "ui_control_panel.h"

namespace zarnix {

namespace {

// A list opens about six entries deep, as the window was drawn.
constexpr int kListVisibleEntries = 6;
// The camera address box never holds more than a bus address.
constexpr int kCameraAddressMaxChars = 2;

// A slider moved by its keys or by a click beside the thumb writes once the key
// or the button is let go (a held key writes once), as a drag writes when the
// thumb is let go. The wheel would move it without writing: it is not taken.
class CSliderWrite : public QObject {
public:
    CSliderWrite(QSlider& slider, std::function<void()> write) : QObject(&slider), m_write(std::move(write))
    {
        connect(&slider, &QAbstractSlider::actionTriggered, this, [this](int action) {
            if (action != QAbstractSlider::SliderMove)
                m_bMoved = true;
        });
        connect(&slider, &QSlider::sliderReleased, this, [this] { m_write(); });
        slider.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Wheel:
            return true;
        case QEvent::KeyRelease:
            if (static_cast<QKeyEvent*>(event)->isAutoRepeat())
                break;
            [[fallthrough]];
        case QEvent::MouseButtonRelease:
        case QEvent::FocusOut:
            if (m_bMoved) {
                m_bMoved = false;
                m_write();
            }
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_write;
    bool m_bMoved = false; // moved by a key or a page click since the last write
};

} // namespace

CControlPanel::CControlPanel(CLinkContext& context, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::ControlPanel>()), m_longWork(*this, context),
      m_context(m_longWork.Context())
{
    m_ui->setupUi(this);
    FinishForm();
    ConnectHandlers();
    m_ui->fileToCameraRadio->setChecked(true);
}

CControlPanel::~CControlPanel() = default;

// What the form cannot say by itself: sizes that follow the font, the window's
// frame, and the scrolling columns.
void CControlPanel::FinishForm()
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    ScrollColumns();
    for (CDropDownCombo* list : findChildren<CDropDownCombo*>()) {
        // The width is fixed by the longest entry, not by what the list holds right
        // now: a list emptied and refilled on every opening must not resize the window.
        QStyleOptionComboBox option;
        option.initFrom(list);
        option.editable = true;
        const QFontMetrics metrics = list->fontMetrics();
        const QString widest = list->property("widestEntry").toString();
        const QSize text(metrics.horizontalAdvance(widest) + 2 * metrics.averageCharWidth(), metrics.height());
        list->setMinimumWidth(list->style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, list).width());
        list->setMaxVisibleItems(kListVisibleEntries);
    }
    for (QLineEdit* box : findChildren<QLineEdit*>()) {
        // The platform hint makes room for 17 letters; these boxes hold a few digits.
        const int chars = box->property("valueChars").toInt();
        if (chars <= 0 || box->parent() == nullptr || qobject_cast<QComboBox*>(box->parent()))
            continue;
        const QFontMetrics metrics = box->fontMetrics();
        const int room = metrics.horizontalAdvance(QString(chars, QLatin1Char('0')));
        box->setFixedWidth(box->sizeHint().width() - 17 * metrics.horizontalAdvance(QLatin1Char('x')) + room);
    }
    m_ui->cameraAddressBox->setMaxLength(kCameraAddressMaxChars);
    // The value boxes take what can be a hexadecimal number; the texts the window
    // puts there itself ("x16", " 1") are shown as they are.
    auto* hex = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]*")), this);
    for (const CBoxRow& row : BoxRows())
        (m_ui.get()->*row.box)->setValidator(hex);
    for (QLineEdit* box : {m_ui->deviceAddressBox, m_ui->registerAddressBox, m_ui->dataBox})
        box->setValidator(hex);
    SetToolTips();
}

// The columns keep the size the form and the font give them; the window around
// them can be resized, and they scroll where it is smaller (a small screen, a
// large scale factor or font).
void CControlPanel::ScrollColumns()
{
    QLayout* top = layout();
    QLayout* columns = top->takeAt(0)->layout();
    // Made a child of the window first, so the controls never leave it and keep
    // the form's tab order.
    auto* content = new QWidget(this);
    content->setLayout(columns);
    columns->setSizeConstraint(QLayout::SetFixedSize);
    m_columns = new QScrollArea(this);
    m_columns->setFrameShape(QFrame::NoFrame);
    m_columns->setAlignment(Qt::AlignCenter);
    m_columns->setWidget(content);
    top->addWidget(m_columns);
    top->setSizeConstraint(QLayout::SetDefaultConstraint);
}

// The form's size where the screen has room for it, else the screen's. Smaller
// than what the largest group asks for, with the scroll bars, a group's
// controls could not be seen together.
void CControlPanel::FitToScreen()
{
    const QMargins margins = layout()->contentsMargins();
    const QSize around(margins.left() + margins.right(), margins.top() + margins.bottom());
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_columns);
    const QSize room = screen()->availableGeometry().size();
    // Sizes as they show (the lists take theirs on their first showing), a group
    // as wide as its column, its controls spread over that width.
    m_columns->widget()->layout()->activate();
    const QSize whole = m_columns->widget()->sizeHint() + around;
    QSize group;
    for (const QGroupBox* box : m_columns->widget()->findChildren<QGroupBox*>())
        group = group.expandedTo(QSize(box->width(), box->sizeHint().height()));
    setMinimumSize((group + around + QSize(bar, bar)).boundedTo(whole).boundedTo(room));

    QSize size = whole.boundedTo(room);
    // A scroll bar in one direction takes room from the other.
    if (whole.width() > room.width())
        size.rheight() = std::min(whole.height() + bar, room.height());
    if (whole.height() > room.height())
        size.rwidth() = std::min(whole.width() + bar, room.width());
    resize(size.expandedTo(minimumSize()));
}

void CControlPanel::ConnectHandlers()
{
    Ui::ControlPanel& ui = *m_ui;
    connect(ui.okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui.cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    // Opening a list refills it, so it always shows its full set of entries. Qt
    // hides a list's popup before it applies the entry picked there, so the
    // close-up handler runs once control is back in the event loop.
    for (const CListRow& row : ListRows()) {
        CDropDownCombo* list = ui.*row.list;
        connect(list, &CDropDownCombo::dropDown, this, [this, &row] { FillList(row.id); });
        connect(list, &CDropDownCombo::closeUp, this, [this, &row] {
            if (row.id == ListId::ShutterMode)
                OnCbnCloseupShutterMode();
            else if (row.id == ListId::WbMode)
                OnCbnCloseupWbMode();
            else
                OnCbnCloseup(row.id);
        }, Qt::QueuedConnection);
    }
    for (const CSliderRow& row : SliderRows()) {
        new CSliderWrite(*(ui.*row.slider), [this, &row] { OnSliderReleased(row); });
        connect(ui.*row.slider, &QAbstractSlider::sliderMoved, this, [this, &row](int p) { OnSliderDragged(row, p); });
    }
    // textEdited, not textChanged: the program's own box texts are never written again.
    for (const CBoxRow& row : BoxRows())
        connect(ui.*row.box, &QLineEdit::textEdited, this, [this, &row] { OnBoxEdited(row); });

    // Operator clicks only: a box checked from code (the refresh) sends nothing.
    const std::pair<QAbstractButton*, std::function<void()>> buttons[] = {
        {ui.searchAddressButton, [this] { OnBnClickedSearchAddress(); }},
        {ui.connectButton, [this] { OnBnClickedConnect(); }},
        {ui.osdUpButton, [this] { OnBnClickedOsdKey(kOsdUp); }},
        {ui.osdDownButton, [this] { OnBnClickedOsdKey(kOsdDown); }},
        {ui.osdLeftButton, [this] { OnBnClickedOsdKey(kOsdLeft); }},
        {ui.osdRightButton, [this] { OnBnClickedOsdKey(kOsdRight); }},
        {ui.osdEnterButton, [this] { OnBnClickedOsdKey(kOsdEnter); }},
        {ui.osdControlCheck, [this] { OnBnClickedOsdControl(); }},
        {ui.mirrorCheck, [this] { OnBnClickedMirror(); }},
        {ui.vFlipCheck, [this] { OnBnClickedMirror(); }},
        {ui.irisOffCheck, [this] { OnBnClickedIrisOff(); }},
        {ui.pwbButton, [this] { OnBnClickedPwb(); }},
        {ui.dnrOnOffCheck, [this] { OnBnClicked3dnrOnOff(); }},
        {ui.dnrAutoCheck, [this] { Send3dnrMode(); }},
        {ui.zoomOnOffCheck, [this] { OnBnClickedZoomOnOff(); }},
        {ui.startCorrectionButton, [this] { OnBnClickedPixelCorrection(kCorrectionStart); }},
        {ui.clearAllButton, [this] { OnBnClickedPixelCorrection(kCorrectionClearAll); }},
        {ui.showCorrectedCheck, [this] { OnBnClickedShowCorrected(); }},
        {ui.autoFieldOddRadio, [this] { SelectAutoField(kAutoFieldOdd); }},
        {ui.autoFieldEvenRadio, [this] { SelectAutoField(kAutoFieldEven); }},
        {ui.manualFieldOddRadio, [this] { SelectManualField(kManualFieldOdd); }},
        {ui.manualFieldEvenRadio, [this] { SelectManualField(kManualFieldEven); }},
        {ui.addressPlusButton, [this] { OnBnClickedAddressStep(+1); }},
        {ui.addressMinButton, [this] { OnBnClickedAddressStep(-1); }},
        {ui.assignPixelButton, [this] { OnBnClickedAssignPixel(); }},
        {ui.horMarkerMinusButton, [this] { StepMarker(*m_ui->horMarkerSlider, -1); }},
        {ui.horMarkerPlusButton, [this] { StepMarker(*m_ui->horMarkerSlider, +1); }},
        {ui.vertMarkerMinusButton, [this] { StepMarker(*m_ui->vertMarkerSlider, -1); }},
        {ui.vertMarkerPlusButton, [this] { StepMarker(*m_ui->vertMarkerSlider, +1); }},
        {ui.registerPlusButton, [this] { StepDirectIndex(true); }},
        {ui.registerMinusButton, [this] { StepDirectIndex(false); }},
        {ui.dataPlusButton, [this] { StepDirectData(true); }},
        {ui.dataMinusButton, [this] { StepDirectData(false); }},
        {ui.directWriteButton, [this] { OnBnClickedDirectWrite(); }},
        {ui.directReadButton, [this] { OnBnClickedDirectRead(); }},
        {ui.saveButton, [this] { OnBnClickedSave(); }},
        {ui.browseButton, [this] { OnBnClickedBrowse(); }},
        {ui.startButton, [this] { OnBnClickedStart(); }},
    };
    for (const auto& [button, handler] : buttons)
        connect(button, &QAbstractButton::clicked, this, handler);
    connect(ui.deviceAddressBox, &QLineEdit::textEdited, this, &CControlPanel::OnEnChangeDeviceAddr);
    connect(ui.registerAddressBox, &QLineEdit::textEdited, this, &CControlPanel::OnEnChangeRegisterAddr);
    connect(ui.dataBox, &QLineEdit::textEdited, this, &CControlPanel::OnEnChangeData);
    connect(ui.fileNameBox, &QLineEdit::textEdited, this, &CControlPanel::OnEnChangeFileName);

    // Linux window managers offer programs no system menu; F1 and the context menu stand in.
    auto* about = new QShortcut(QKeySequence::HelpContents, this);
    connect(about, &QShortcut::activated, this, &CControlPanel::aboutRequested);
    m_chooseFile = [this](bool cameraToFile) { return ChooseSettingsFile(*this, cameraToFile); };
}

void CControlPanel::RecordSetting(std::uint8_t entry, std::uint16_t value)
{
    if (entry >= kShadowSize)
        return;
    m_awSettings[entry] = value;
    m_abSettingKnown[entry] = true;
}

// Return and Enter press the push button that has the focus, so they close the
// window only from "OK" or "Cancel"; anywhere else they end nothing. Escape
// closes it from a push button only: in a value box or a list's text it would
// throw the whole window away for a slip of the finger (an open list takes it
// to close its pop-up). It closes as the close button does, so that long work
// asks first.
void CControlPanel::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Escape)
        return QDialog::keyPressEvent(event);
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    if (button && button->isEnabled())
        key == Qt::Key_Escape ? static_cast<void>(close()) : button->click();
    event->accept();
}

void CControlPanel::ShowOutcome(const QString& outcome)
{
    m_ui->statusLabel->setText(outcome);
    // Qt announces the change of a description (DescriptionChanged) to the screen reader.
    m_ui->statusLabel->setAccessibleDescription(outcome);
}

void CControlPanel::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    menu.addAction(kAboutEntry, this, &CControlPanel::aboutRequested);
    menu.exec(event->globalPos());
}

void CControlPanel::setVisible(bool visible)
{
    if (visible && !m_bInitDone)
        OnInitDialog();
    QDialog::setVisible(visible);
}

// The controls have their sizes once they are shown, the window not yet.
void CControlPanel::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_bFitted)
        return;
    m_bFitted = true;
    FitToScreen();
    adjustPosition(parentWidget());
}

CCameraControl CControlPanel::Camera() const { return CCameraControl(m_context, m_wCameraAddress); }

void CControlPanel::Enable(std::span<QWidget* const> widgets, bool enable)
{
    for (QWidget* widget : widgets)
        widget->setEnabled(enable);
}

} // namespace zarnix
