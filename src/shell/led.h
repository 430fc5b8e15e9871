// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

namespace rxdeck {

// An indicator lamp: on or off, in one of three colours and two looks.
class Led : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool Lit READ lit WRITE setLit)
    Q_PROPERTY(int ledcolor READ ledcolor WRITE setLedcolor)
    Q_PROPERTY(int shape READ shape WRITE setShape)
public:
    // ledcolor: 0 (default), 1 or 2; shape: 0 (default, square) or 1 (wide).
    explicit Led(QWidget* parent = nullptr, int ledcolor = 0, int shape = 0);

    bool lit() const { return lit_; }
    void setLit(bool lit);
    int ledcolor() const { return ledcolor_; }
    void setLedcolor(int ledcolor);
    int shape() const { return shape_; }
    void setShape(int shape);

    // The colour the lamp shows when lit.
    QColor litColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool lit_ = false;
    int ledcolor_ = 0;
    int shape_ = 0;
};

} // namespace rxdeck
