// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What assistive technologies learn of the window and its controls: a window named by its
// caption, a French name and description for each box, count label and button, and French
// tooltips on the labels and buttons.

class QLabel;
class QPushButton;
class QString;
class QWidget;

// Shows WINDOW, a top-level widget, as a window (a frame to AT-SPI) named by its caption,
// where Qt would give a plain QWidget subclass the role of a client area (a filler, which
// screen readers pass over as layout). Called before WINDOW is shown or given its caption.
void describeWindow(QWidget *window);

// Names and describes the controls of field FIELD (0 the key, 1 the plain text, 2 the code
// text): its BOX, its COUNT label and its COPY button. A count label's accessible name
// carries its current count, so a screen reader says what is counted and how many.
void describeControls(int field, QWidget *box, QLabel *count, QPushButton *copy);

// Adds WHY a decoding failed to the plain box's description and tooltip, or, when WHY is
// empty, takes it away again.
void describeFailure(QWidget *plainBox, const QString &why);
