// The About box: the product's name and version, and this build's version.
#pragma once

#include <QDialog>

namespace zarnix {

class CAboutDlg final : public QDialog {
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

} // namespace zarnix
