// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace rxdeck {

// A captioned group frame: the whole rectangle filled with its background colour,
// an etched border, and the caption set into the top border line in dark blue.
// Children are placed at absolute positions relative to its top-left corner.
class FrameBox : public QWidget
{
    Q_OBJECT
public:
    FrameBox(const QString& caption, const QColor& background, QWidget* parent = nullptr);

    QString caption() const { return caption_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_;
    QColor background_;
};

// The S-meter's scale: its caption is the scale text, and each of its marks is drawn
// centred over the lamp below it, whatever the font's character widths.
class ScaleLabel : public QWidget
{
    Q_OBJECT
public:
    ScaleLabel(const QString& text, int firstCentre, int spacing, QWidget* parent = nullptr);

    QString text() const { return text_; }
    // The scale's marks, left to right, one over each lamp.
    QStringList marks() const;
    // Where the mark over lamp `index` is centred.
    int markCentre(int index) const { return firstCentre_ + index * spacing_; }
    // The widest a mark may be drawn: neighbours keep a gap, the last stays clear of
    // the frame's edge.
    int markRoom() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    int firstCentre_;
    int spacing_;
};

} // namespace rxdeck
