// The program's shell: the splash picture, the About box and the ways to reach it;
// and how every value box reads what the operator typed.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QtTest/QTest>

#include "app/about_dialog.h"
#include "app/splash.h"
#include "panel/hex_text.h"
#include "panel/message_box_sink.h"
#include "panel_fixture.h"

namespace zarnix::test {
namespace {

TEST(SplashTest, CentredOnTheScreenEvenWhenLargerThanIt)
{
    const struct {
        QRect screen;
        QSize size;
        QPoint at;
    } cases[] = {
        {{0, 0, 1920, 1080}, {329, 117}, {795, 481}},
        {{1920, 0, 1280, 1024}, {329, 117}, {2395, 453}}, // a second screen to the right
        {{0, 0, 300, 100}, {329, 117}, {-14, -8}},       // a tiny screen: the picture spills over
    };
    for (const auto& c : cases)
        EXPECT_EQ(CentredOn(c.screen, c.size), c.at) << c.screen.width();
}

TEST(SplashTest, ShowsThePictureFramelessAtItsOwnSize)
{
    CSplash splash;
    const QRect screen(0, 0, 1024, 768);
    splash.Create(":/splash.png", screen);
    EXPECT_TRUE(splash.isVisible());
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(splash.windowType(), Qt::SplashScreen); // kept off the task list
    EXPECT_EQ(splash.size(), QSize(329, 117));
    EXPECT_EQ(splash.pos(), CentredOn(screen, QSize(329, 117)));
    // What is painted is the picture itself, inside its one-pixel border.
    EXPECT_EQ(splash.grab().toImage().pixelColor(164, 58), QImage(":/splash.png").pixelColor(164, 58));
    // Clicking it does not hide it: it stays until the program ends.
    QTest::mouseClick(&splash, Qt::LeftButton);
    EXPECT_TRUE(splash.isVisible());
}

TEST(AboutBoxTest, NamesTheProductAndClosesOnOk)
{
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "About Zarnix_controller");
    QStringList texts;
    for (const QLabel* label : about.findChildren<QLabel*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains("Zarnix_controller Version 5.3")) << texts.join('|').toStdString();
    const auto buttons = about.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), "OK");
    EXPECT_TRUE(buttons[0]->isDefault());
    QTimer::singleShot(0, buttons[0], &QPushButton::click);
    EXPECT_EQ(about.exec(), QDialog::Accepted);
}

using ShellTest = PanelTest;

TEST_F(ShellTest, AboutIsOfferedInTheContextMenuAndOnF1)
{
    Start();
    bus.ClearLog();
    QSignalSpy about(dlg.get(), &CControlPanel::aboutRequested);
    // The context menu holds the one entry; choosing it asks for the About box.
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(menu->actions().size(), 1);
        EXPECT_EQ(menu->actions()[0]->text(), "&About Zarnix_controller..."); // as the About box names it
        menu->actions()[0]->trigger();
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(10, 10), dlg->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(dlg.get(), &event);
    EXPECT_EQ(about.count(), 1);

    dlg->show();
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    QTest::keyClick(dlg.get(), Qt::Key_F1);
    EXPECT_EQ(about.count(), 2);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(bus.Log().empty()); // the About box is no camera operation
}

// Every box shows its text as written: a file named "<b>x.qcs" is no bold "x.qcs".
// Only Yes answers yes. A list comes in a box of its own, which the operator can copy from.
TEST(MessageBoxSinkTest, ShowsTextAsWrittenAndAListToCopyFrom)
{
    const std::string text = "<b>x.qcs: 2 of 1069 registers differ", list = "a0:04 file 90 camera 80 Brightness\n";
    CMessageBoxSink sink;
    // NoButton: the list's box, closed.
    for (const auto pressed : {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No, QMessageBox::NoButton}) {
        QStringList read;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            for (QLabel* label : box->findChildren<QLabel*>())
                read << QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name);
            for (auto* lines : box->findChildren<QPlainTextEdit*>())
                for (const auto keys : {QKeySequence::SelectAll, QKeySequence::Copy})
                    QTest::keySequence(lines, keys);
            pressed ? qobject_cast<QMessageBox*>(box)->button(pressed)->click() : static_cast<void>(box->close());
        });
        const bool yes = pressed == QMessageBox::Ok ? (sink.Show(text), false)
                                                    : pressed ? sink.Ask(text) : (sink.ShowList(text, list), false);
        EXPECT_EQ(yes, pressed == QMessageBox::Yes) << pressed;
        EXPECT_TRUE(read.contains(QString::fromStdString(text))) << read.join('|').toStdString();
    }
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), list); // the last box's
}

// A value box reads hex as strtoul does with a 32-bit unsigned long, whatever was typed.
TEST(HexTextTest, ReadsWhatWasTypedAsStrtoulReadsBase16)
{
    const std::pair<const char*, std::uint32_t> rows[] = {
        {"ff", 0xff}, {"FF", 0xff}, {"0x1F", 0x1f}, {"  \t+7", 7}, {"12zz", 0x12}, {"-1", 0xffffffff},
        {"-0x10", 0xfffffff0}, {"", 0}, {"0x", 0}, {"x1", 0}, {"- 1", 0}, {"+-1", 0}, {"\u00e91", 0},
        {"ffffffff", 0xffffffff}, {"100000000", 0xffffffff}, {"-100000000", 0xffffffff},
    };
    for (const auto& [typed, value] : rows)
        EXPECT_EQ(HexTextValue(QString::fromUtf8(typed)), value) << typed;
}

} // namespace
} // namespace zarnix::test
