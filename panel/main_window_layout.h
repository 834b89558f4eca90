// The main window's controls: every group, label and control of the camera
// panel, each control tagged with the numeric id that the handlers use.
#pragma once

#include <QWidget>

class QDialog;

namespace zarnix {

// Dynamic property that carries a control's id; labels without an id have none.
inline constexpr const char* kDlgIdProperty = "dlgId";

// Creates every item of the main window inside `dialog`, sets its caption and
// lays the groups out in the window's five columns.
void BuildMainWindowLayout(QDialog& dialog);

// The control of `dialog` with id `id`, or nullptr.
QWidget* GetDlgItem(const QWidget& dialog, int id);

// The control with id `id` as a T, or nullptr when it is missing or of another kind.
template <class T>
T* DlgItem(const QWidget& dialog, int id)
{
    return qobject_cast<T*>(GetDlgItem(dialog, id));
}

} // namespace zarnix
