#pragma once

#include "app/Colors.h"

#include <QWidget>

namespace Catraca {

// The status lamp: a rectangle filled with a solid brush and outlined by a
// black pen one pixel wide. It takes no focus and no input.
class TShape : public QWidget {
    Q_OBJECT
public:
    explicit TShape(QWidget *parent = nullptr);

    TColor BrushColor() const { return brushColor_; }
    // Shows the new colour at once, not at the next idle repaint, so that a
    // handler that goes on to block (an error box) leaves the lamp right.
    void SetBrushColor(TColor color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    TColor brushColor_ = clSilver;
};

}  // namespace Catraca
