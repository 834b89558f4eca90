#include "panel/main_window_layout.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <cstdint>
#include <map>
#include <vector>

#include "panel/drop_down_combo.h"

namespace zarnix {

namespace {

// One line of the window's template. Containers (columns, bands, groups) open
// and close around their contents; inside a group every control belongs to the
// row opened last. The order of the lines is the order in which the operator
// meets the controls, and so the keyboard's tab order.
enum class EOp : std::uint8_t {
    Column,   // blocks one below the other
    Band,     // blocks side by side
    Group,    // a captioned group box whose controls come in rows
    End,      // closes the latest column, band or group
    Grid,     // a row whose items share the group's columns, the last one spanning the rest
    Line,     // a row of items packed side by side across the whole group
    Gap,      // an empty cell of a grid row
    Label,
    List,
    Slider,
    Box,
    Check,
    Radio,
    Button,
    Progress,
    Picture,
};

enum : unsigned {
    kRightAligned = 1u << 0, // value box: digits line up at the right
    kReadOnly = 1u << 1,     // value box that only the program writes
    kTextLeft = 1u << 2,     // check box with its caption before the mark
    kTall = 1u << 3,         // button as tall as the blocks beside it
    kDefault = 1u << 4,      // the button that Return clicks
};

struct CEntry {
    EOp op;
    int id = 0;                 // 0: an item without id (labels, groups, picture)
    const char* text = "";      // caption, or label text
    int buddy = 0;              // label: the control it names
    int chars = 0;              // box: width in characters, 0 = as wide as the row
    const char* widest = "";    // list: its longest entry, which must show in full
    const char* name = nullptr; // accessible name where caption or label alone say too little
    unsigned flags = 0;
};

constexpr CEntry Column() { return {EOp::Column}; }
constexpr CEntry Band() { return {EOp::Band}; }
constexpr CEntry Group(const char* caption) { return {EOp::Group, 0, caption}; }
constexpr CEntry End() { return {EOp::End}; }
constexpr CEntry Grid() { return {EOp::Grid}; }
constexpr CEntry Line() { return {EOp::Line}; }
constexpr CEntry Gap() { return {EOp::Gap}; }
constexpr CEntry Label(const char* text, int buddy = 0, int id = 0) { return {EOp::Label, id, text, buddy}; }
constexpr CEntry List(int id, const char* widest, const char* name = nullptr)
{
    return {EOp::List, id, "", 0, 0, widest, name};
}
constexpr CEntry Slider(int id, const char* name = nullptr) { return {EOp::Slider, id, "", 0, 0, name}; }
constexpr CEntry Box(int id, int chars, unsigned flags = 0) { return {EOp::Box, id, "", 0, chars, "", nullptr, flags}; }
constexpr CEntry Check(int id, const char* caption, unsigned flags = 0)
{
    return {EOp::Check, id, caption, 0, 0, "", nullptr, flags};
}
constexpr CEntry Radio(int id, const char* caption, const char* name) { return {EOp::Radio, id, caption, 0, 0, "", name}; }
constexpr CEntry Button(int id, const char* caption, const char* name = nullptr, unsigned flags = 0)
{
    return {EOp::Button, id, caption, 0, 0, "", name, flags};
}
constexpr CEntry Progress(int id) { return {EOp::Progress, id}; }
constexpr CEntry Picture() { return {EOp::Picture}; }

// Hexadecimal value boxes show at most three characters ("ff", "100", "x64").
constexpr int kValueChars = 4;

// The window, column by column.
constexpr CEntry kTemplate[] = {
    Band(),
    Column(),
      Group("AEX control"),
        Grid(), Label("Shutter mode", 1002),
        Grid(), List(1002, "2: Flickerless (1/100-1/120Sec)"),
        Grid(), Label("Max Shutter", 1035), Label("Min Shutter", 1045),
        Grid(), List(1035, "7: 1/100000 s"), List(1045, "0: 1/50 or 1/60s"),
        Grid(), Group("Analog Gain"),
          Grid(), Slider(1047), Box(1048, kValueChars, kRightAligned),
        End(),
        Line(), Label("SensUp mode", 1005), List(1005, "8:  256 times"),
        Grid(), Label("AEX-reference point:", 1042, 1044),
        Line(), Slider(1042), Box(1043, kValueChars, kRightAligned),
        Grid(), Group("Digital Gain"),
          Grid(), Label("Y:", 1000), Slider(1000, "Digital Gain Y"), Box(1009, kValueChars, kRightAligned),
          Grid(), Label("C:", 1001), Slider(1001, "Digital Gain C"), Box(1010, kValueChars, kRightAligned),
        End(),
        Grid(), Group("Day Night"),
          Grid(), Check(1012, "Day Night mode active"),
          Grid(), Label("DN-mode", 1003), List(1003, "1:  Colour"),
          Grid(), Label("Col.Burst", 1004), List(1004, "1: On"),
          Grid(), Label("DN delay", 1007), Slider(1007), Box(1013, kValueChars, kRightAligned),
          Grid(), Label("DN start", 1008), Slider(1008), Box(1014, kValueChars, kRightAligned),
          Grid(), Label("DN stop", 1015), Slider(1015), Box(1016, kValueChars, kRightAligned),
        End(),
        Line(), Label("Com.Delay", 1025), Box(1025, kValueChars), Label("mSec"),
        Line(), Label("I2C address camera", 1092), Box(1092, 3),
        Line(), Button(1095, "Search I2C address"),
      End(),
    End(),

    Column(),
      Band(),
        Group("Scanning Mode"),
          Grid(), Check(1017, "Mirror (H-flip)"),
          Grid(), Check(1018, "V-flip"),
        End(),
        Button(1041, "SAVE", nullptr, kTall),
      End(),
      Group("Sharpness Level"),
        Grid(), Slider(1019), Box(1020, kValueChars, kRightAligned),
      End(),
      Group("Back Light Compensation"),
        Grid(), Label("BLC mode", 1021), List(1021, "2:  HBLC"),
        Grid(), Label("BLC gain", 1022), List(1022, "1:   Medium"),
        Grid(), Label("HSBLC lev.", 1023), Slider(1023), Box(1024, kValueChars, kRightAligned),
        Grid(), Label("Window Size", 1036), List(1036, "16: HxV 8x8"),
        Grid(), Label("Window Pos.", 1026), List(1026, "8: Center Bottom"),
      End(),
      Group("File control"),
        Line(), Label("File name:", 1096), Button(1097, "Browse"),
        Grid(), Box(1096, 0),
        Grid(), Radio(1098, "File to camera", nullptr),
        Grid(), Radio(1099, "Camera to File", nullptr),
        Grid(), Progress(1100),
        Line(), Button(1101, "Start"), Check(1108, "all Registers"),
      End(),
    End(),

    Column(),
      Band(),
        Button(1034, "Connect", nullptr, kTall),
        Column(),
          Button(1, "OK", nullptr, kDefault),
          Button(2, "Cancel"),
        End(),
      End(),
      Group("White Balance mode"),
        Grid(), Label("mode", 1027, 1039), List(1027, "5:   AWC-SET/Run", "White Balance mode"),
        Grid(), Label("R-gain", 1028, 1037), Slider(1028), Box(1030, kValueChars, kRightAligned),
        Grid(), Label("B-gain", 1029, 1038), Slider(1029), Box(1031, kValueChars, kRightAligned),
        Line(), Button(1032, "PWB"),
      End(),
      Group("Iris Control (test)"),
        Grid(), Check(1033, "Iris Off"),
      End(),
      Group("Brightness"),
        Grid(), Slider(1006), Box(1011, kValueChars, kRightAligned),
      End(),
      Group("Direct I2C commands"),
        Grid(), Label("device addr:", 1103), Box(1103, kValueChars),
        Grid(), Label("register addr:", 1104), Box(1104, kValueChars),
                Button(1106, "+", "register addr +"), Button(1112, "-", "register addr -"),
        Grid(), Label("data:", 1105), Box(1105, kValueChars),
                Button(1110, "+", "data +"), Button(1111, "-", "data -"),
        Line(), Button(1107, "write"), Button(1113, "read"),
      End(),
    End(),

    // The last two columns share the picture below them.
    Column(),
      Band(),
        Column(),
          Group("OSD Control"),
            // The menu keys sit as a cross, "Enter" in the middle.
            Grid(), Gap(), Button(1049, "Up", "OSD Up"), Gap(),
            Grid(), Button(1050, "<--", "OSD Left"), Button(1053, "Enter", "OSD Enter"),
                    Button(1051, "-->", "OSD Right"),
            Grid(), Gap(), Button(1052, "Down", "OSD Down"), Gap(),
            Grid(), Check(1054, "OSD Control"),
          End(),
          Group("Low Lum Colour Suppr"),
            Grid(), Slider(1056), Box(1057, kValueChars),
          End(),
          Group("3 Dim. Noise Reduct"),
            Grid(), Check(1058, "3DNR on/off"),
            Grid(), Check(1059, "3DNR auto mode"),
            Grid(), Label("3DNR level:", 1060),
            Grid(), Slider(1060), Box(1061, kValueChars),
            Grid(), Label("3DNR AGC start level:", 1062),
            Grid(), Slider(1062), Box(1063, kValueChars),
            Grid(), Label("3DNR AGC stop level:", 1064),
            Grid(), Slider(1064), Box(1065, kValueChars),
          End(),
        End(),
        Column(),
          Group("Pixel Correction/Blemish"),
            Grid(), Group("Auto"),
              Line(), Button(1066, "Start correction"), Button(1067, "Clear all"),
              Grid(), Label("SU level", 1068), Slider(1068), Box(1069, kValueChars),
              Grid(), Label("DD level", 1070), Slider(1070), Box(1071, kValueChars),
              Line(), Label("Field"), Radio(1089, "Odd", "Auto Field Odd"), Radio(1091, "Even", "Auto Field Even"),
              Grid(), Check(1072, "Show corrected pixels"),
            End(),
            Grid(), Group("Manual"),
              Line(), Label("Field:"), Radio(1073, "Odd", "Manual Field Odd"),
                      Radio(1074, "Even", "Manual Field Even"),
              Line(), Label("Address:", 1075), Box(1075, 6, kReadOnly),
                      Button(1076, "Plus", "Address Plus"), Button(1077, "Min", "Address Min"),
              Grid(), Label("Hor.pos Marker", 1078),
              Line(), Button(1088, "-", "Hor.pos Marker -"), Slider(1078), Button(1093, "+", "Hor.pos Marker +"),
              Grid(), Label("Vert.pos Marker", 1079),
              Line(), Button(1090, "-", "Vert.pos Marker -"), Slider(1079), Button(1094, "+", "Vert.pos Marker +"),
              Line(), Button(1080, "Assign Pixel"),
            End(),
          End(),
          Group("Zoom"),
            Grid(), Check(1081, "Zoom On/Off", kTextLeft),
            Grid(), Label("Zoom Fact.", 1082), Slider(1082), Box(1085, kValueChars),
            Grid(), Label("Pan pos:", 1083), Slider(1083), Box(1086, kValueChars),
            Grid(), Label("Tilt pos.", 1084), Slider(1084), Box(1087, kValueChars),
          End(),
        End(),
      End(),
      Picture(),
      Label("rev5.5 USB"),
    End(),
    End(),
};

// Bitmap 139 is decoration; its frame keeps the bitmap's size.
constexpr QSize kPictureSize(184, 59);
// A list opens about six entries deep, as the window was drawn.
constexpr int kListVisibleEntries = 6;
constexpr int kGroupSpacing = 4;
constexpr int kCancelId = 2;

// The platform style widens every button to a standard width; the window's
// "+", "-" and arrow keys would then crowd their groups, so each button asks
// only for its caption plus a margin.
class CCompactButton : public QPushButton {
public:
    using QPushButton::QPushButton;

    QSize sizeHint() const override
    {
        QSize hint = QPushButton::sizeHint();
        const QFontMetrics metrics = fontMetrics();
        const int margins = style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, this) +
                            2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) +
                            2 * metrics.horizontalAdvance(QLatin1Char(' '));
        hint.setWidth(qMax(metrics.horizontalAdvance(text()) + margins, hint.height()));
        return hint;
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
};

// Return in a value box or a list's text field ends the typing, not the
// window: without this the dialog would take it as a click on "OK".
class CReturnInBoxFilter : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            auto* window = static_cast<QWidget*>(watched);
            if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
                qobject_cast<QLineEdit*>(window->focusWidget()) != nullptr)
                return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

QString WithoutColon(QString text)
{
    if (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text;
}

QString Sanitised(const char* text)
{
    QString name = QString::fromUtf8(text);
    for (QChar& c : name)
        if (!c.isLetterOrNumber())
            c = QLatin1Char('_');
    return name;
}

// Walks the template once, keeping a stack of the open containers.
class CLayoutBuilder {
public:
    explicit CLayoutBuilder(QDialog& dialog) : m_dialog(dialog) {}

    void Build()
    {
        auto* top = new QVBoxLayout;
        top->setSizeConstraint(QLayout::SetFixedSize);
        m_dialog.setLayout(top);
        m_stack.push_back({&m_dialog, top, nullptr, QString()});
        for (const CEntry& entry : kTemplate)
            Apply(entry);
        Q_ASSERT(m_stack.size() == 1);
        for (const auto& [label, id] : m_buddies)
            label->setBuddy(GetDlgItem(m_dialog, id));
        for (qsizetype i = 1; i < m_tabOrder.size(); ++i)
            QWidget::setTabOrder(m_tabOrder[i - 1], m_tabOrder[i]);
    }

private:
    struct CFrame {
        QWidget* parent;
        QBoxLayout* box;    // column or band; null inside a group
        QGridLayout* grid;  // group
        QString caption;    // group caption, for controls without a label of their own
        int row = -1;
        int col = 0;
        bool lineRow = false;
        QHBoxLayout* line = nullptr;
        QWidget* pending = nullptr; // last grid item of the row; spans the rest once the row ends
        Qt::Alignment pendingAlign = {};
    };

    void Apply(const CEntry& entry)
    {
        switch (entry.op) {
        case EOp::Column:
        case EOp::Band: OpenBox(entry.op == EOp::Column ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight); break;
        case EOp::Group: OpenGroup(entry.text); break;
        case EOp::End: Close(); break;
        case EOp::Grid:
        case EOp::Line: StartRow(entry.op == EOp::Line); break;
        case EOp::Gap:
            FlushPending(1);
            ++Top().col;
            break;
        default: Place(Make(entry), entry); break;
        }
    }

    CFrame& Top() { return m_stack.back(); }

    QString GroupCaption() const
    {
        for (auto it = m_stack.rbegin(); it != m_stack.rend(); ++it)
            if (!it->caption.isEmpty())
                return it->caption;
        return QString();
    }

    void OpenBox(QBoxLayout::Direction direction)
    {
        auto* box = new QBoxLayout(direction);
        box->setSpacing(direction == QBoxLayout::TopToBottom ? kGroupSpacing : 2 * kGroupSpacing);
        PlaceLayout(box);
        m_stack.push_back({Top().parent, box, nullptr, QString()});
    }

    void OpenGroup(const char* caption)
    {
        auto* group = new QGroupBox(QString::fromUtf8(caption), Top().parent);
        group->setObjectName(QStringLiteral("grp") + Sanitised(caption));
        auto* grid = new QGridLayout(group);
        grid->setContentsMargins(6, 2, 6, 4);
        grid->setHorizontalSpacing(4);
        grid->setVerticalSpacing(3);
        PlaceWidget(group, false);
        m_stack.push_back({group, nullptr, grid, QString::fromUtf8(caption)});
        m_radioRun = nullptr;
    }

    void Close()
    {
        CFrame frame = m_stack.back();
        m_stack.pop_back();
        if (frame.grid) {
            FlushPending(frame, -1);
            // Extra height collects below the controls, which stay together at the top.
            frame.grid->setRowStretch(frame.row + 1, 1);
            m_radioRun = nullptr;
        } else if (frame.box->direction() == QBoxLayout::TopToBottom && frame.box->count() > 0) {
            // The last block of a column reaches down to the window's bottom edge.
            frame.box->setStretch(frame.box->count() - 1, 1);
        }
    }

    void StartRow(bool line)
    {
        CFrame& frame = Top();
        Q_ASSERT(frame.grid != nullptr);
        FlushPending(frame, -1);
        ++frame.row;
        frame.col = 0;
        frame.lineRow = line;
        frame.line = nullptr;
        m_lastName.clear();
        if (line) {
            frame.line = new QHBoxLayout;
            frame.line->setSpacing(4);
            frame.grid->addLayout(frame.line, frame.row, 0, 1, -1);
        }
    }

    void FlushPending(int span) { FlushPending(Top(), span); }
    static void FlushPending(CFrame& frame, int span)
    {
        if (frame.pending) {
            frame.grid->addWidget(frame.pending, frame.row, frame.col, 1, span, frame.pendingAlign);
            frame.pending = nullptr;
            ++frame.col;
        }
    }

    void PlaceLayout(QLayout* layout)
    {
        CFrame& frame = Top();
        if (frame.box)
            frame.box->addLayout(layout);
        else
            frame.grid->addLayout(layout, frame.row, 0, 1, -1);
    }

    void PlaceWidget(QWidget* widget, bool centred, Qt::Alignment inGrid = {})
    {
        CFrame& frame = Top();
        if (frame.box) {
            frame.box->addWidget(widget, 0, centred ? Qt::AlignHCenter : Qt::Alignment());
        } else if (frame.lineRow) {
            frame.line->addWidget(widget);
        } else {
            FlushPending(frame, 1);
            frame.pending = widget;
            frame.pendingAlign = inGrid;
        }
    }

    void Place(QWidget* widget, const CEntry& entry)
    {
        // A check box keeps to the left of its row rather than floating in the middle.
        PlaceWidget(widget, entry.op == EOp::Picture || entry.op == EOp::Label,
                    entry.op == EOp::Check ? Qt::AlignLeft | Qt::AlignAbsolute : Qt::Alignment());
        if (entry.id != 0) {
            widget->setProperty(kDlgIdProperty, entry.id);
            widget->setObjectName(QStringLiteral("ctl%1").arg(entry.id));
        } else if (widget->objectName().isEmpty()) {
            widget->setObjectName(QStringLiteral("lbl") + Sanitised(entry.text));
        }
        if (widget->focusPolicy() != Qt::NoFocus)
            m_tabOrder.append(widget);
    }

    // Buttons, check boxes and radio buttons are known by their caption; other
    // controls by their label, else by their slider or their group.
    QString AccessibleName(const CEntry& entry)
    {
        if (entry.name)
            return QString::fromUtf8(entry.name);
        if (entry.op == EOp::Button || entry.op == EOp::Check || entry.op == EOp::Radio)
            return QString::fromUtf8(entry.text);
        if (const auto it = m_labelTexts.find(entry.id); it != m_labelTexts.end())
            return WithoutColon(it->second);
        if (entry.op == EOp::Box)
            return (m_lastName.isEmpty() ? GroupCaption() : m_lastName) + QStringLiteral(" value");
        return GroupCaption();
    }

    QWidget* Make(const CEntry& entry)
    {
        QWidget* parent = Top().parent;
        const QString text = QString::fromUtf8(entry.text);
        QWidget* widget = nullptr;
        switch (entry.op) {
        case EOp::Label: {
            auto* label = new QLabel(text, parent);
            if (entry.buddy != 0) {
                m_buddies.emplace_back(label, entry.buddy);
                m_labelTexts[entry.buddy] = text;
            }
            return label;
        }
        case EOp::Picture: {
            auto* picture = new QLabel(parent);
            picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            picture->setLineWidth(1);
            picture->setFixedSize(kPictureSize + QSize(2, 2));
            picture->setObjectName(QStringLiteral("picture139"));
            return picture;
        }
        case EOp::List: {
            auto* list = new CDropDownCombo(parent);
            // The width is fixed by the longest entry, not by what the list holds right
            // now: a list emptied and refilled on every opening must not resize the window.
            list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            QStyleOptionComboBox option;
            option.initFrom(list);
            option.editable = true;
            const QFontMetrics metrics = list->fontMetrics();
            const QSize text(metrics.horizontalAdvance(QString::fromUtf8(entry.widest)) + 2 * metrics.averageCharWidth(),
                             metrics.height());
            list->setMinimumWidth(list->style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, list).width());
            list->setMaxVisibleItems(kListVisibleEntries);
            list->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
            widget = list;
            break;
        }
        case EOp::Slider: {
            auto* slider = new QSlider(Qt::Horizontal, parent);
            slider->setTickPosition(QSlider::NoTicks);
            slider->setFocusPolicy(Qt::StrongFocus);
            widget = slider;
            break;
        }
        case EOp::Box: {
            auto* box = new QLineEdit(parent);
            box->setAlignment(entry.flags & kRightAligned ? Qt::AlignRight : Qt::AlignLeft);
            box->setReadOnly(entry.flags & kReadOnly);
            if (entry.chars > 0) {
                // The platform hint makes room for 17 letters; these boxes hold a few digits.
                const QFontMetrics metrics = box->fontMetrics();
                const int room = metrics.horizontalAdvance(QString(entry.chars, QLatin1Char('0')));
                box->setFixedWidth(box->sizeHint().width() - 17 * metrics.horizontalAdvance(QLatin1Char('x')) + room);
            }
            widget = box;
            break;
        }
        case EOp::Check: {
            auto* check = new QCheckBox(text, parent);
            if (entry.flags & kTextLeft)
                check->setLayoutDirection(Qt::RightToLeft);
            check->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
            widget = check;
            break;
        }
        case EOp::Radio: {
            auto* radio = new QRadioButton(text, parent);
            // Each field pair, and the transfer direction pair, is a choice of its own.
            if (!m_radioRun)
                m_radioRun = new QButtonGroup(&m_dialog);
            m_radioRun->addButton(radio);
            widget = radio;
            break;
        }
        case EOp::Button: {
            auto* button = new CCompactButton(text, parent);
            button->setAutoDefault(false);
            if (entry.flags & kDefault) {
                button->setDefault(true);
                QObject::connect(button, &QPushButton::clicked, &m_dialog, &QDialog::accept);
            } else if (entry.id == kCancelId) {
                QObject::connect(button, &QPushButton::clicked, &m_dialog, &QDialog::reject);
            }
            if (entry.flags & kTall)
                button->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
            widget = button;
            break;
        }
        case EOp::Progress: {
            auto* bar = new QProgressBar(parent);
            bar->setTextVisible(false);
            widget = bar;
            break;
        }
        default: Q_UNREACHABLE();
        }
        if (entry.op != EOp::Radio)
            m_radioRun = nullptr;
        const QString name = AccessibleName(entry);
        widget->setAccessibleName(name);
        if (entry.op == EOp::Slider || entry.op == EOp::List)
            m_lastName = name;
        return widget;
    }

    QDialog& m_dialog;
    std::vector<CFrame> m_stack;
    QList<QWidget*> m_tabOrder;
    std::vector<std::pair<QLabel*, int>> m_buddies;
    std::map<int, QString> m_labelTexts; // control id -> text of the label that names it
    QString m_lastName;                  // the row's slider, for the name of its value box
    QButtonGroup* m_radioRun = nullptr;  // radio buttons in a row form one exclusive choice
};

} // namespace

void BuildMainWindowLayout(QDialog& dialog)
{
    dialog.setWindowTitle(QStringLiteral("Zarnix_controller_r5.5 USB"));
    // A fixed dialog: caption, system menu and close button, nothing to minimise or maximise.
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint);
    CLayoutBuilder(dialog).Build();
    dialog.installEventFilter(new CReturnInBoxFilter(&dialog));
}

namespace {

// Every handler and every data exchange looks controls up by id, and walking all
// of the window's widgets each time made up a good part of the start-up. The
// index lives as a child of the dialog, dies with it, and is built again when it
// misses (a control added or destroyed since).
class CDlgItemIndex final : public QObject {
public:
    explicit CDlgItemIndex(QWidget& dialog) : QObject(&dialog) { Rebuild(dialog); }

    QWidget* Find(const QWidget& dialog, int id)
    {
        if (QWidget* found = Lookup(id))
            return found;
        Rebuild(dialog);
        return Lookup(id);
    }

private:
    QWidget* Lookup(int id) const
    {
        const auto at = m_items.find(id);
        if (at == m_items.end() || at->second.isNull())
            return nullptr;
        QWidget* widget = at->second.data();
        const QVariant value = widget->property(kDlgIdProperty);
        return value.isValid() && value.toInt() == id ? widget : nullptr;
    }

    void Rebuild(const QWidget& dialog)
    {
        m_items.clear();
        for (QWidget* child : dialog.findChildren<QWidget*>()) {
            const QVariant value = child->property(kDlgIdProperty);
            if (value.isValid())
                m_items.emplace(value.toInt(), child); // the first of an id wins, as before
        }
    }

    std::map<int, QPointer<QWidget>> m_items;
};

} // namespace

QWidget* GetDlgItem(const QWidget& dialog, int id)
{
    // No meta-object of its own, so findChild would take any child for it.
    CDlgItemIndex* index = nullptr;
    for (QObject* child : dialog.children())
        if ((index = dynamic_cast<CDlgItemIndex*>(child)))
            break;
    if (!index)
        index = new CDlgItemIndex(const_cast<QWidget&>(dialog));
    return index->Find(dialog, id);
}

} // namespace zarnix
