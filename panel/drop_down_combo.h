// A drop-down list that says when it opens and when it closes, so the window can
// refill a list on every opening and send its choice when it closes. Stepping
// through a closed list with the arrow or page keys, or with the wheel, counts
// as an opening and a close-up: the list is refilled first, and the choice is
// sent once the key is let go (a held key sends once) or after each wheel step.
#pragma once

#include <QComboBox>

namespace zarnix {

class CDropDownCombo : public QComboBox {
    Q_OBJECT
public:
    explicit CDropDownCombo(QWidget* parent = nullptr);

    void showPopup() override;
    void hidePopup() override;

signals:
    void dropDown(); // about to open: the list is refilled before it shows
    void closeUp();  // closed, whether or not an entry was picked

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool m_bOpen = false;
    bool m_bStepping = false; // a step key is down on the closed list
};

} // namespace zarnix
