// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// KorMain: the program's single window. Three boxes (key, plain text, code text), a count
// label and a "Copy" button beside each; editing a box converts live into the others. What
// the boxes do is Boxes' (boxes.h): the window shows it and reports the user's edits.

#include "boxes.h"

#include <QWidget>

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

class CodeBox;
class QAction;
class QLabel;
class QPushButton;

class KorMain final : public QWidget, private BoxesView {
    Q_OBJECT
public:
    // Box indices: 0 the key, 1 the plain text, 2 the code text.
    enum Field : int { Key = Boxes::Key, Plain = Boxes::Plain, Code = Boxes::Code };

    // Builds the window in its start-up state; nothing is converted until a box changes.
    // The first window built becomes the application's instance.
    explicit KorMain(QWidget *parent = nullptr);
    ~KorMain() override;

    // The application's single window, created first when there is none. A window created
    // here is deleted when the application's event loop ends.
    static KorMain *instance();

    // The codes of box I.
    [[nodiscard]] std::string text(int i) const;
    // Assigns box I; its change is handled before this returns.
    void setText(int i, std::string_view codes);

    // Pixels for a length in twips at DPI dots per inch.
    [[nodiscard]] static int pixels(int twips, int dpi);

protected:
    // Takes the key off the clipboard where a copy from this window left it.
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void placeControls();
    void setCount(QLabel *label, std::size_t count);

    // What Boxes has the window show.
    void showCodes(int i, std::string_view codes) override;
    void showCount(int i, std::size_t count) override;
    void enableCopies(bool enabled) override;
    void showFailure(std::string_view why, std::optional<std::size_t> unit) override;
    void clearFailure() override;
    void showRefusal(int i, std::string_view why) override;

    // Reports the user's change of box I to the boxes' behaviour.
    void txt_Change(int i);
    // Puts the raw text of box I on the clipboard.
    void Copie_Click(int i);
    // Puts the armored form of the code text on the clipboard, for a message.
    void copyArmored();

    std::array<CodeBox *, 3> txt{};
    std::array<QPushButton *, 3> Copie{};
    QLabel *ctr0 = nullptr;
    QLabel *ctr1 = nullptr;
    QLabel *ctr2 = nullptr;
    QAction *m_armoredCopy = nullptr;
    // Set while the window shows what Boxes assigned, which is no edit of the user's.
    bool m_showing = false;
    std::optional<Boxes> m_boxes;

    static inline KorMain *s_instance = nullptr;
};
