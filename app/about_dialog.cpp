#include "app/about_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace zarnix {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("About Zarnix_controller");
    auto* layout = new QGridLayout(this);
    auto* icon = new QLabel;
    icon->setPixmap(QPixmap(":/icon32.png"));
    icon->setAccessibleName("Zarnix controller icon");
    auto* product = new QLabel("Zarnix_controller Version 5.3");
    product->setTextFormat(Qt::PlainText);
    auto* build = new QLabel(QStringLiteral("zarnix-controller %1").arg(ZARNIX_VERSION));
    build->setTextFormat(Qt::PlainText);
    auto* ok = new QPushButton("OK");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(product, 0, 1);
    layout->addWidget(build, 1, 1);
    layout->addWidget(ok, 0, 2, Qt::AlignTop);
}

} // namespace zarnix
