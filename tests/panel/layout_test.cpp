#include "panel/main_window_layout.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSlider>
#include <QStyleOptionButton>
#include <QTest>

#include <cstdio>
#include <vector>

#include "panel/drop_down_combo.h"

namespace zarnix {
namespace {

// Widget classes, as the window's kinds of control.
constexpr const char* Label = "QLabel";
constexpr const char* List = "zarnix::CDropDownCombo";
constexpr const char* Slider = "QSlider";
constexpr const char* Box = "QLineEdit";
constexpr const char* Check = "QCheckBox";
constexpr const char* Radio = "QRadioButton";
constexpr const char* Button = "QPushButton";
constexpr const char* Progress = "QProgressBar";

struct CItem {
    int id;
    const char* kind;
    const char* caption = "";
};

struct CGroupItems {
    const char* group; // caption of the nearest enclosing group box, "" outside every group
    std::vector<CItem> items;
};

// Every item of the window that carries an id, group by group.
const CGroupItems kWindow[] = {
    {"AEX control", {{1002, List}, {1035, List}, {1045, List}, {1005, List}, {1044, Label, "AEX-reference point:"},
                     {1042, Slider}, {1043, Box}, {1025, Box}, {1092, Box}, {1095, Button, "Search I2C address"}}},
    {"Analog Gain", {{1047, Slider}, {1048, Box}}},
    {"Digital Gain", {{1000, Slider}, {1009, Box}, {1001, Slider}, {1010, Box}}},
    {"Day Night", {{1012, Check, "Day Night mode active"}, {1003, List}, {1004, List}, {1007, Slider}, {1013, Box},
                   {1008, Slider}, {1014, Box}, {1015, Slider}, {1016, Box}}},
    {"Scanning Mode", {{1017, Check, "Mirror (H-flip)"}, {1018, Check, "V-flip"}}},
    {"Sharpness Level", {{1019, Slider}, {1020, Box}}},
    {"Back Light Compensation",
     {{1021, List}, {1022, List}, {1023, Slider}, {1024, Box}, {1036, List}, {1026, List}}},
    {"White Balance mode", {{1039, Label, "mode"}, {1027, List}, {1037, Label, "R-gain"}, {1028, Slider}, {1030, Box},
                            {1038, Label, "B-gain"}, {1029, Slider}, {1031, Box}, {1032, Button, "PWB"}}},
    {"Iris Control (test)", {{1033, Check, "Iris Off"}}},
    {"Brightness", {{1006, Slider}, {1011, Box}}},
    {"Direct I2C commands", {{1103, Box}, {1104, Box}, {1106, Button, "+"}, {1112, Button, "-"}, {1105, Box},
                             {1110, Button, "+"}, {1111, Button, "-"}, {1107, Button, "write"},
                             {1113, Button, "read"}}},
    {"File control", {{1097, Button, "Browse"}, {1096, Box}, {1098, Radio, "File to camera"},
                      {1099, Radio, "Camera to File"}, {1100, Progress}, {1101, Button, "Start"},
                      {1108, Check, "all Registers"}}},
    {"OSD Control", {{1049, Button, "Up"}, {1050, Button, "<--"}, {1053, Button, "Enter"}, {1051, Button, "-->"},
                     {1052, Button, "Down"}, {1054, Check, "OSD Control"}}},
    {"Low Lum Colour Suppr", {{1056, Slider}, {1057, Box}}},
    {"3 Dim. Noise Reduct", {{1058, Check, "3DNR on/off"}, {1059, Check, "3DNR auto mode"}, {1060, Slider},
                             {1061, Box}, {1062, Slider}, {1063, Box}, {1064, Slider}, {1065, Box}}},
    {"Auto", {{1066, Button, "Start correction"}, {1067, Button, "Clear all"}, {1068, Slider}, {1069, Box},
              {1070, Slider}, {1071, Box}, {1089, Radio, "Odd"}, {1091, Radio, "Even"},
              {1072, Check, "Show corrected pixels"}}},
    {"Manual", {{1073, Radio, "Odd"}, {1074, Radio, "Even"}, {1075, Box}, {1076, Button, "Plus"},
                {1077, Button, "Min"}, {1088, Button, "-"}, {1078, Slider}, {1093, Button, "+"},
                {1090, Button, "-"}, {1079, Slider}, {1094, Button, "+"}, {1080, Button, "Assign Pixel"}}},
    {"Zoom", {{1081, Check, "Zoom On/Off"}, {1082, Slider}, {1085, Box}, {1083, Slider}, {1086, Box},
              {1084, Slider}, {1087, Box}}},
    {"", {{1, Button, "OK"}, {2, Button, "Cancel"}, {1041, Button, "SAVE"}, {1034, Button, "Connect"}}},
};

QString GroupOf(const QWidget* widget)
{
    for (const QWidget* up = widget->parentWidget(); up; up = up->parentWidget())
        if (auto* group = qobject_cast<const QGroupBox*>(up))
            return group->title();
    return QString();
}

int IdOf(const QWidget* widget)
{
    const QVariant id = widget->property(kDlgIdProperty);
    return id.isValid() ? id.toInt() : 0;
}

class LayoutTest : public ::testing::Test {
protected:
    void SetUp() override { BuildMainWindowLayout(dialog); }

    // The widgets that make up the window's template: group boxes, labels and controls.
    QList<QWidget*> TemplateItems() const
    {
        QList<QWidget*> items;
        for (QWidget* w : dialog.findChildren<QWidget*>())
            if (IdOf(w) != 0 || qobject_cast<QGroupBox*>(w) || qobject_cast<QLabel*>(w))
                items.append(w);
        return items;
    }

    QDialog dialog;
};

TEST_F(LayoutTest, EveryIdOnceWithItsKindCaptionAndGroup)
{
    QSet<int> expected;
    for (const auto& group : kWindow) {
        for (const CItem& item : group.items) {
            SCOPED_TRACE(item.id);
            expected.insert(item.id);
            QWidget* widget = GetDlgItem(dialog, item.id);
            ASSERT_NE(widget, nullptr);
            EXPECT_TRUE(widget->inherits(item.kind)) << widget->metaObject()->className();
            EXPECT_EQ(widget->property("text").toString(), QString::fromUtf8(item.caption));
            EXPECT_EQ(GroupOf(widget), QString::fromUtf8(group.group));
        }
    }
    QList<int> ids;
    for (QWidget* w : TemplateItems())
        if (IdOf(w) != 0)
            ids.append(IdOf(w));
    EXPECT_EQ(ids.size(), expected.size()) << "an id is used twice, or an item has an id it should not";
    EXPECT_EQ(QSet<int>(ids.begin(), ids.end()), expected);
    EXPECT_EQ(TemplateItems().size(), 168);
    EXPECT_EQ(dialog.findChildren<QSlider*>().size(), 23);
    EXPECT_EQ(dialog.findChildren<CDropDownCombo*>().size(), 11);
    EXPECT_EQ(DlgItem<QSlider>(dialog, 1011), nullptr) << "a box is not a slider";
    EXPECT_EQ(GetDlgItem(dialog, 4711), nullptr);
    EXPECT_EQ(dialog.windowTitle(), "Zarnix_controller_r5.5 USB");
    EXPECT_FALSE(dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
}

TEST_F(LayoutTest, StylesTheHandlersRelyOn)
{
    for (auto* list : dialog.findChildren<CDropDownCombo*>()) {
        EXPECT_TRUE(list->isEditable());
        EXPECT_EQ(list->insertPolicy(), QComboBox::NoInsert);
    }
    for (auto* slider : dialog.findChildren<QSlider*>()) {
        EXPECT_EQ(slider->orientation(), Qt::Horizontal);
        EXPECT_EQ(slider->tickPosition(), QSlider::NoTicks);
        EXPECT_TRUE(slider->focusPolicy() & Qt::TabFocus);
    }
    const QSet<int> rightAligned{1009, 1010, 1011, 1013, 1014, 1016, 1020, 1024, 1030, 1031, 1043, 1048};
    for (auto* box : dialog.findChildren<QLineEdit*>()) {
        const int id = IdOf(box);
        if (id == 0)
            continue; // a list's own text field
        SCOPED_TRACE(id);
        EXPECT_EQ(box->alignment() & Qt::AlignHorizontal_Mask,
                  rightAligned.contains(id) ? Qt::AlignRight : Qt::AlignLeft);
        EXPECT_EQ(box->isReadOnly(), id == 1075);
    }

    // "Zoom On/Off" reads before its mark, every other check box after it.
    for (auto* check : dialog.findChildren<QCheckBox*>()) {
        QStyleOptionButton option;
        option.initFrom(check);
        const QRect mark = check->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, check);
        const QRect text = check->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, check);
        EXPECT_EQ(mark.left() > text.left(), check->text() == "Zoom On/Off") << check->text().toStdString();
    }

    auto* ok = DlgItem<QPushButton>(dialog, 1);
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    for (auto* button : dialog.findChildren<QPushButton*>()) {
        if (button != ok) {
            EXPECT_FALSE(button->isDefault() || button->autoDefault()) << button->text().toStdString();
        }
    }
}

TEST_F(LayoutTest, RadioPairsAreExclusiveOnlyWithinThemselves)
{
    const int pairs[][2] = {{1089, 1091}, {1073, 1074}, {1098, 1099}};
    auto radio = [&](int id) { return DlgItem<QRadioButton>(dialog, id); };
    for (const auto& pair : pairs)
        radio(pair[0])->click();
    for (const auto& pair : pairs) {
        SCOPED_TRACE(pair[0]);
        radio(pair[1])->click();
        EXPECT_TRUE(radio(pair[1])->isChecked());
        EXPECT_FALSE(radio(pair[0])->isChecked());
        for (const auto& other : pairs) {
            if (other[0] != pair[0]) {
                EXPECT_NE(radio(other[0])->isChecked(), radio(other[1])->isChecked());
            }
        }
        radio(pair[0])->click();
        EXPECT_FALSE(radio(pair[1])->isChecked());
    }
    // The platform toggles a check box's mark by itself.
    auto* check = DlgItem<QCheckBox>(dialog, 1081);
    check->click();
    EXPECT_TRUE(check->isChecked());
}

TEST_F(LayoutTest, AccessibleNamesAreUniqueAndSayWhatTheControlIs)
{
    QSet<QString> names;
    for (QWidget* w : TemplateItems()) {
        if (IdOf(w) == 0 || qobject_cast<QLabel*>(w))
            continue;
        SCOPED_TRACE(IdOf(w));
        EXPECT_FALSE(w->accessibleName().isEmpty());
        EXPECT_FALSE(names.contains(w->accessibleName())) << w->accessibleName().toStdString();
        names.insert(w->accessibleName());
        EXPECT_EQ(w->objectName(), QStringLiteral("ctl%1").arg(IdOf(w)));
    }
    const struct {
        int id;
        const char* name;
    } examples[] = {
        {1006, "Brightness"},        {1011, "Brightness value"},   {1007, "DN delay"},
        {1013, "DN delay value"},    {1042, "AEX-reference point"}, {1096, "File name"},
        {1088, "Hor.pos Marker -"},  {1093, "Hor.pos Marker +"},   {1089, "Auto Field Odd"},
        {1074, "Manual Field Even"}, {1106, "register addr +"},    {1017, "Mirror (H-flip)"},
    };
    for (const auto& example : examples)
        EXPECT_EQ(GetDlgItem(dialog, example.id)->accessibleName(), example.name) << example.id;
    // A label hands the keyboard focus to the control it names.
    for (auto* label : dialog.findChildren<QLabel*>()) {
        if (label->text() == "DN delay") {
            EXPECT_EQ(label->buddy(), GetDlgItem(dialog, 1007));
        } else if (label->text() == "File name:") {
            EXPECT_EQ(label->buddy(), GetDlgItem(dialog, 1096));
        }
    }
}

TEST_F(LayoutTest, NothingIsClippedAndTheWindowFitsASmallScreen)
{
    dialog.show();
    dialog.adjustSize();
    std::printf("main window: %d x %d\n", dialog.width(), dialog.height());
    EXPECT_LE(dialog.width(), 1366);
    EXPECT_LE(dialog.height(), 768 - 60) << "room for a title bar and a task bar";
    for (QWidget* w : TemplateItems()) {
        const bool hasText = qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
                             qobject_cast<QComboBox*>(w) || qobject_cast<QGroupBox*>(w);
        if (!hasText)
            continue;
        SCOPED_TRACE(w->objectName().toStdString());
        EXPECT_GE(w->width(), w->sizeHint().width());
        EXPECT_GE(w->height(), w->minimumSizeHint().height());
        EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry())) << "sticks out of its group";
    }
}

TEST_F(LayoutTest, TabOrderRunsColumnByColumnTopToBottom)
{
    dialog.show();
    QList<QWidget*> order;
    for (QWidget* w = dialog.nextInFocusChain(); w != &dialog; w = w->nextInFocusChain()) {
        QWidget* control = IdOf(w) != 0 ? w : w->parentWidget(); // a list's own text field
        if (IdOf(control) != 0 && (control->focusPolicy() & Qt::TabFocus) && !order.contains(control))
            order.append(control);
    }
    int focusable = 0;
    for (QWidget* w : TemplateItems())
        focusable += IdOf(w) != 0 && (w->focusPolicy() & Qt::TabFocus);
    EXPECT_EQ(order.size(), focusable);
    for (qsizetype i = 1; i < order.size(); ++i) {
        const QRect a(order[i - 1]->mapTo(&dialog, QPoint()), order[i - 1]->size());
        const QRect b(order[i]->mapTo(&dialog, QPoint()), order[i]->size());
        SCOPED_TRACE(QStringLiteral("%1 -> %2").arg(IdOf(order[i - 1])).arg(IdOf(order[i])).toStdString());
        if (qAbs(a.center().y() - b.center().y()) < qMin(a.height(), b.height()) / 2) {
            EXPECT_GT(b.left(), a.left()) << "same line: left to right";
        } else if (b.center().y() < a.center().y()) {
            EXPECT_GE(b.left(), a.right()) << "going up only into a column further right";
        }
    }
}

TEST_F(LayoutTest, OkAcceptsCancelRejectsReturnInABoxKeepsTheWindow)
{
    dialog.show();
    auto* box = DlgItem<QLineEdit>(dialog, 1011);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    DlgItem<QPushButton>(dialog, 1)->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    dialog.show();
    DlgItem<QPushButton>(dialog, 2)->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);

    dialog.show();
    auto* slider = DlgItem<QSlider>(dialog, 1006);
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << "Return elsewhere is the default button's";
}

} // namespace
} // namespace zarnix
