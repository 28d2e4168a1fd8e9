// SPDX-License-Identifier: GPL-3.0-or-later
#include "zoom.h"

#include <QKeySequence>
#include <QShortcut>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>
#include <array>

namespace {

// The zoom levels, in percent of the usual size, as editors step through them. Below half
// the marks' digits are a few pixels high; above three times the multi-line boxes show
// two lines, and the key box, one line of fixed height, cuts its characters from half
// again the usual size up.
constexpr std::array<int, 12> Levels = {50, 67, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300};
constexpr int UsualLevel = 4;
static_assert(Levels[UsualLevel] == 100);

// One notch of a mouse wheel, in eighths of a degree.
constexpr int WheelNotch = 120;

} // namespace

BoxZoom::BoxZoom(QWidget *window, const std::vector<QWidget *> &boxes)
    : QObject(window), m_level(UsualLevel)
{
    for (QWidget *box : boxes)
        m_usual.emplace_back(box, box->font());

    // Window-wide, so they act whichever control has the focus; the boxes leave Ctrl with
    // these keys to shortcuts.
    const auto bind = [this, window](const QKeySequence &keys, void (BoxZoom::*step)()) {
        auto *shortcut = new QShortcut(keys, window);
        connect(shortcut, &QShortcut::activated, this, step);
    };
    bind(QKeySequence::ZoomIn, &BoxZoom::zoomIn);
    // Ctrl++ needs Shift on many layouts; editors take Ctrl+= as well.
    bind(QKeySequence(Qt::CTRL | Qt::Key_Equal), &BoxZoom::zoomIn);
    bind(QKeySequence::ZoomOut, &BoxZoom::zoomOut);
    bind(QKeySequence(Qt::CTRL | Qt::Key_0), &BoxZoom::reset);

    // A wheel event goes to the control under the pointer and up to the window while no one
    // takes it; a scroll area or a scroll bar would take Ctrl+wheel to page.
    window->installEventFilter(this);
    for (QWidget *control : window->findChildren<QWidget *>())
        control->installEventFilter(this);
}

int BoxZoom::percent() const
{
    return Levels[static_cast<std::size_t>(m_level)];
}

void BoxZoom::zoomIn()
{
    setLevel(m_level + 1);
}

void BoxZoom::zoomOut()
{
    setLevel(m_level - 1);
}

void BoxZoom::reset()
{
    setLevel(UsualLevel);
}

void BoxZoom::setLevel(int level)
{
    level = std::clamp(level, 0, static_cast<int>(Levels.size()) - 1);
    if (level == m_level)
        return;
    m_level = level;
    const qreal scale = percent() / 100.0;
    for (const auto &[box, usual] : m_usual) {
        QFont font = usual;
        font.setPointSizeF(usual.pointSizeF() * scale);
        box->setFont(font);
    }
}

bool BoxZoom::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Wheel)
        return QObject::eventFilter(watched, event);
    auto *wheel = static_cast<QWheelEvent *>(event);
    if (!(wheel->modifiers() & Qt::ControlModifier))
        return false;
    const int angle = wheel->angleDelta().y();
    if (angle == 0)
        return false;
    // A turn back starts counting afresh.
    if ((angle > 0) != (m_wheelAngle > 0))
        m_wheelAngle = 0;
    m_wheelAngle += angle;
    for (; m_wheelAngle >= WheelNotch; m_wheelAngle -= WheelNotch)
        zoomIn();
    for (; m_wheelAngle <= -WheelNotch; m_wheelAngle += WheelNotch)
        zoomOut();
    wheel->accept();
    return true;
}
