// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// KorMain: the program's single window. Three boxes (key, plain text, code text), a count
// label and a "Copy" button beside each; editing a box converts live into the others.

#include "armor.h"
#include "modcodeur.h"

#include <QWidget>

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

class CodeBox;
class QLabel;
class QPushButton;

class KorMain final : public QWidget {
    Q_OBJECT
public:
    // Box indices: 0 the key, 1 the plain text, 2 the code text.
    enum Field : int { Key = 0, Plain = 1, Code = 2 };

    // Builds the window in its start-up state; nothing is converted until a box changes.
    // The first window built becomes the application's instance.
    explicit KorMain(QWidget *parent = nullptr);
    ~KorMain() override;

    // The application's single window, created first when there is none. A window created
    // here is deleted when the application's event loop ends.
    static KorMain *instance();

    // The codes of box I, read afresh.
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

    // Keeps the boxes consistent after box I changed.
    void txt_Change(int i);
    // Assigns the plain box the decoding of the code box, "Erreur" when it does not fit the
    // key, and says why.
    void decodeIntoPlain();
    // The reason for an "Erreur": on the plain box, and its unit marked in the code box,
    // RESULT being the decoding of CODE with KEY. It stands while the plain box shows that
    // "Erreur", and tells of the key and code text the boxes hold now.
    void noteFailure(const std::string &code, const std::string &key,
                     const ModCodeur::DecodeResult &result);
    // Brings the reason in line with the boxes after a change: gone with the "Erreur", told
    // afresh for a new key or code text.
    void reviewFailure();
    void clearFailure();
    // Puts the raw text of box I on the clipboard.
    void Copie_Click(int i);
    // Puts the armored form of the code text on the clipboard, for a message.
    void copyArmored();
    // Shows "Erreur" with DAMAGED's reason for an armored text that the code box refused;
    // the code box keeps its text, so any change of it decodes again.
    void refuseArmored(const Armor::Dearmored &damaged);

    std::array<CodeBox *, 3> txt{};
    std::array<QPushButton *, 3> Copie{};
    QLabel *ctr0 = nullptr;
    QLabel *ctr1 = nullptr;
    QLabel *ctr2 = nullptr;
    // The code text and key whose decoding's failure the window is showing.
    struct Failure {
        std::string code;
        std::string key;
    };
    std::optional<Failure> m_failure;

    static inline KorMain *s_instance = nullptr;
};
