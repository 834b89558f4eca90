#include "app/splash.h"

#include <QPainter>

namespace zarnix {

QPoint CentredOn(const QRect& screen, const QSize& size)
{
    return {screen.x() + (screen.width() - size.width()) / 2, screen.y() + (screen.height() - size.height()) / 2};
}

CSplash::CSplash() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAccessibleName("Zarnix controller splash");
}

void CSplash::Create(const QString& picture, const QRect& screen)
{
    m_bitmap.load(picture);
    setFixedSize(m_bitmap.size());
    move(CentredOn(screen, m_bitmap.size()));
    show();
    repaint();
}

void CSplash::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_bitmap);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(rect().adjusted(0, 0, -1, -1)); // the thin border lies inside the picture
}

} // namespace zarnix
