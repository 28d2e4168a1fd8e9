// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What assistive technologies learn of the window's controls: a French name and description
// for each box, count label and button, and French tooltips on the labels and buttons.

class QString;
class QWidget;

// Names and describes the controls of WINDOW, found by their object names (txt0..txt2,
// ctr0..ctr2, Copie0..Copie2). A count label's accessible name carries its current count,
// so a screen reader says what is counted and how many.
void setupAccessibility(QWidget *window);

// Adds WHY a decoding failed to the plain box's description and tooltip, or, when WHY is
// empty, takes it away again.
void describeFailure(QWidget *plainBox, const QString &why);
