#include "panel/drop_down_combo.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QWheelEvent>

namespace zarnix {

namespace {

// Qt on Linux announces a list by its current entry; the operator hears which
// list it is, by its label, and the entry as its value.
class CAccessibleList : public QAccessibleWidget {
public:
    explicit CAccessibleList(QWidget* list) : QAccessibleWidget(list, QAccessible::ComboBox) {}
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return static_cast<QComboBox*>(widget())->currentText();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* AccessibleList(const QString& key, QObject* object)
{
    if (key == QLatin1String(CDropDownCombo::staticMetaObject.className()) && object->isWidgetType())
        return new CAccessibleList(static_cast<QWidget*>(object));
    return nullptr;
}

bool IsStepKey(const QKeyEvent& event)
{
    if (event.modifiers() & Qt::AltModifier)
        return false; // Alt+Down opens the list
    switch (event.key()) {
    case Qt::Key_Up: case Qt::Key_Down: case Qt::Key_PageUp: case Qt::Key_PageDown: return true;
    default: return false;
    }
}

} // namespace

CDropDownCombo::CDropDownCombo(QWidget* parent) : QComboBox(parent)
{
    static const bool installed = (QAccessible::installFactory(AccessibleList), true);
    (void)installed;
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

void CDropDownCombo::keyPressEvent(QKeyEvent* event)
{
    if (!m_bOpen && IsStepKey(*event) && !m_bStepping) {
        m_bStepping = true;
        emit dropDown();
    }
    QComboBox::keyPressEvent(event);
}

void CDropDownCombo::keyReleaseEvent(QKeyEvent* event)
{
    QComboBox::keyReleaseEvent(event);
    if (m_bStepping && IsStepKey(*event) && !event->isAutoRepeat()) {
        m_bStepping = false;
        emit closeUp();
    }
}

void CDropDownCombo::wheelEvent(QWheelEvent* event)
{
    if (m_bOpen)
        return QComboBox::wheelEvent(event);
    emit dropDown();
    QComboBox::wheelEvent(event);
    emit closeUp();
}

// Focus taken away while a step key is down: the key's release goes elsewhere.
void CDropDownCombo::focusOutEvent(QFocusEvent* event)
{
    QComboBox::focusOutEvent(event);
    if (m_bStepping) {
        m_bStepping = false;
        emit closeUp();
    }
}

} // namespace zarnix
