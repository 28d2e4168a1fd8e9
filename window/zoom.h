// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Zooming the text boxes as text editors do: Ctrl+wheel, Ctrl++ (or Ctrl+=) and Ctrl+-
// enlarge and shrink the boxes' font together, Ctrl+0 gives it back its usual size. Only
// the text grows; the boxes keep their places and sizes, and nothing outlives the window.

#include <QFont>
#include <QObject>

#include <utility>
#include <vector>

class QWidget;

class BoxZoom final : public QObject {
    Q_OBJECT
public:
    // Zooms BOXES together from anywhere in WINDOW (shortcuts and wheel alike), each from the
    // font it has now, which must give its size in points.
    BoxZoom(QWidget *window, const std::vector<QWidget *> &boxes);

    // The zoom as a percentage of the usual size.
    [[nodiscard]] int percent() const;

    void zoomIn();
    void zoomOut();
    void reset();

protected:
    // Takes Ctrl+wheel anywhere in the window, before a scroll area pages with it.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setLevel(int level);

    std::vector<std::pair<QWidget *, QFont>> m_usual;
    int m_level;
    // Wheel rotation not yet worth a step, in eighths of a degree.
    int m_wheelAngle = 0;
};
