// The splash picture: a frameless splash screen centred on the screen, which
// window managers keep off the task list. It stays
// behind the main window until the program ends; its owner destroys it, whatever
// closes its window first.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace zarnix {

class CSplash final : public QWidget {
public:
    CSplash();
    // Loads the picture and shows the window centred on `screen`, painted at once.
    void Create(const QString& picture, const QRect& screen);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_bitmap;
};

// Where a picture of `size` sits centred on `screen` (it may lie partly off a small screen).
QPoint CentredOn(const QRect& screen, const QSize& size);

} // namespace zarnix
