// The real window on the simulated camera, with a virtual clock and a message
// recorder: what every window test starts from. The handle checks of BusTest run
// after each test.
#pragma once

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QTest>
#include <QWidget>

#include <memory>
#include <string>

#include "panel/control_panel.h"
#include "tests/bus_fixture.h"

namespace zarnix::test {

class PanelTest : public BusTest {
protected:
    std::unique_ptr<CControlPanel> dlg;

    // Builds the window and shows it, which runs its start-up (the search and the
    // refresh) on the camera as the test has set it up.
    void Start()
    {
        dlg = std::make_unique<CControlPanel>(context);
        dlg->show();
    }
    // Opens the list and picks entry `index` with the keyboard, as an operator does.
    void Choose(QComboBox* list, int index)
    {
        list->showPopup();
        list->view()->setCurrentIndex(list->view()->model()->index(index, 0));
        QTest::keyClick(list->view(), Qt::Key_Return);
        QCoreApplication::processEvents();
    }
    // The control the form names so.
    template <class T>
    T* Find(const std::string& name)
    {
        T* widget = dlg->findChild<T*>(QString::fromStdString(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
};

} // namespace zarnix::test
