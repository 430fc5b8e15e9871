// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <QWidget>
#include <vector>

namespace rxdeck {

class Led;

// Lamps read together by assistive technology: the group's name and its state, which
// is the caption of its last lit lamp ("USB", "S9+20"), followed by a reading where
// the group has one ("S9+20, -53 dBm").
class LampGroup : public QObject
{
    Q_OBJECT
public:
    LampGroup(const QString& name, const QString& whenDark, QObject* parent);

    void add(Led* lamp, const QString& caption);
    // A text read along with the lamps, such as the S-meter's dBm.
    void setReading(std::function<QString()> reading) { reading_ = std::move(reading); }

    QString name() const { return name_; }
    QString state() const;
    // The numeric reading when the group has one.
    std::optional<QString> reading() const;

private:
    QString name_;
    QString whenDark_;
    std::vector<std::pair<Led*, QString>> lamps_;
    std::function<QString()> reading_;
};

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

    // The group the lamp belongs to and what it stands for there; none for a lone lamp.
    const LampGroup* group() const { return group_; }
    QString caption() const { return caption_; }

signals:
    void litChanged(bool lit);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool lit_ = false;
    int ledcolor_ = 0;
    int shape_ = 0;
    const LampGroup* group_ = nullptr;
    QString caption_;
    friend class LampGroup;
};

} // namespace rxdeck
