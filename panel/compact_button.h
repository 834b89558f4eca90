// A push button as wide as its caption: the platform style widens every button
// to a standard width, and the window's "+", "-" and arrow keys would then crowd
// their groups.
#pragma once

#include <QPushButton>
#include <QStyle>

namespace zarnix {

class CCompactButton : public QPushButton {
public:
    using QPushButton::QPushButton;

    QSize sizeHint() const override
    {
        QSize hint = QPushButton::sizeHint();
        const QFontMetrics metrics = fontMetrics();
        const int margins = style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, this) +
                            2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) +
                            2 * metrics.horizontalAdvance(QLatin1Char(' '));
        hint.setWidth(qMax(metrics.horizontalAdvance(text()) + margins, hint.height()));
        return hint;
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
};

} // namespace zarnix
