// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reads the text of an X11 selection (CLIPBOARD, PRIMARY, or the XdndSelection of a text
// being dropped) straight from its owner, over a connection of its own, exactly as the owner
// gives it. Qt's own reading (Qt 6.4) drops one final U+0000 of a text offered as UTF8_STRING or
// STRING, the last unit of many code texts.

#include <QString>

#include <chrono>
#include <optional>

namespace X11Selection {

enum class Name {
    Clipboard, // CLIPBOARD, what Ctrl+V pastes
    Primary,   // PRIMARY, what a middle click pastes
    Drag,      // XdndSelection, what is being dragged and dropped
};

// Whether this build can read selections natively and the application runs on X11.
[[nodiscard]] bool available();

// Starts noting the times of drops, which reading Name::Drag needs; call it before the first
// drop arrives (it does nothing the second time, or when not available()).
void watchDrops();

// The text the owner of the selection NAME gives as UTF8_STRING, or as STRING (Latin-1)
// when it has no UTF-8 form. Nothing when there is no owner, the owner refuses both, does
// not answer within TIMEOUT (between two parts of a large transfer, too), or this build
// cannot read natively. Never ask while this process owns the selection: it cannot answer
// while it waits here, so the read would only end at the timeout.
[[nodiscard]] std::optional<QString>
text(Name name, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));

} // namespace X11Selection
