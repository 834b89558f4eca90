#include "panel/drop_down_combo.h"

namespace zarnix {

CDropDownCombo::CDropDownCombo(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    // Return in the text field must not add the typed text as a new entry.
    setInsertPolicy(QComboBox::NoInsert);
}

void CDropDownCombo::showPopup()
{
    emit dropDown();
    m_bOpen = true;
    QComboBox::showPopup();
}

void CDropDownCombo::hidePopup()
{
    QComboBox::hidePopup();
    // Qt may hide a popup more than once; the window hears of one close per open.
    if (m_bOpen) {
        m_bOpen = false;
        emit closeUp();
    }
}

} // namespace zarnix
