// A drop-down list that says when it opens and when it closes, so the window can
// refill a list on every opening and send its choice when it closes.
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

private:
    bool m_bOpen = false;
};

} // namespace zarnix
