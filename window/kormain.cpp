// SPDX-License-Identifier: GPL-3.0-or-later
#include "kormain.h"

#include "accessibility.h"
#include "boxfont.h"
#include "clipboard.h"
#include "codetarvo_version.h"
#include "colours.h"
#include "keybox.h"
#include "textbox.h"
#include "zoom.h"
#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QToolTip>

#include "codetarvo.xpm"

namespace {

// A control's place in twips from the top-left corner of the client area.
struct Twips {
    int left;
    int top;
    int width;
    int height;
};

constexpr int ClientWidth = 9330;
constexpr int ClientHeight = 4245;
constexpr int TwipsPerInch = 1440;
// How long the reason a paste entered nothing stays on screen.
constexpr int RefusalShownMs = 10000;
// Counts shrink no further than this to fit their labels.
constexpr qreal MinimumCountPointSize = 4.0;

constexpr std::array<Twips, 3> BoxPlaces = {{
    {120, 120, 7215, 285},
    {120, 600, 8295, 1695},
    {120, 2400, 8295, 1695},
}};
constexpr std::array<Twips, 3> CountPlaces = {{
    {7560, 120, 615, 255},
    {8520, 1560, 615, 255},
    {8520, 3360, 615, 255},
}};
constexpr std::array<Twips, 3> CopyPlaces = {{
    {8520, 120, 735, 375},
    {8520, 1920, 735, 375},
    {8520, 3720, 735, 375},
}};

} // namespace

KorMain::KorMain(QWidget *parent) : QWidget(parent)
{
    // First: a caption set while a screen reader listens already asks for the interface.
    describeWindow(this);
    setObjectName(QStringLiteral("KorMain"));
    setWindowTitle(QStringLiteral("Code Tarvo " CODETARVO_CAPTION_VERSION));
    setWindowIcon(QIcon(QPixmap(codetarvo_xpm)));

    QPalette background = palette();
    background.setColor(QPalette::Window, Colours::desktop());
    setPalette(background);
    setAutoFillBackground(true);

    buildControls();
    m_boxes.emplace(static_cast<BoxesView &>(*this));
    placeControls();
    new BoxZoom(this, {txt[Key]->widget(), txt[Plain]->widget(), txt[Code]->widget()});

    if (!s_instance) {
        s_instance = this;
        // Coder shows the plain length on ctr1, reaching the window as the rest of the
        // program does, through the application's instance.
        ModCodeur::setPlainLengthHook(
            [](std::size_t length) { instance()->showCount(Plain, length); });
    }
}

KorMain::~KorMain()
{
    if (s_instance == this) {
        ModCodeur::setPlainLengthHook({});
        s_instance = nullptr;
    }
}

void KorMain::closeEvent(QCloseEvent *event)
{
    // The user's closing and a quit of the application (Qt closes every window first) both
    // come here. Not on deletion: the window is deleted after the event loop, hidden by then,
    // and Wayland compositors may refuse a clipboard change from a program without the focus.
    Clipboard::forgetSecrets();
    QWidget::closeEvent(event);
}

KorMain *KorMain::instance()
{
    if (!s_instance) {
        auto *window = new KorMain;
        if (auto *app = QCoreApplication::instance())
            connect(app, &QCoreApplication::aboutToQuit, window, &QObject::deleteLater);
    }
    return s_instance;
}

void KorMain::buildControls()
{
    auto *key = new KeyBox(this);
    auto *plain = new TextBox(this);
    auto *code = new TextBox(this);
    txt = {key, plain, code};
    // The code text is made to be sent; the key leaves the clipboard with the window.
    key->setSecret(Clipboard::Secret::Forgotten);
    plain->setSecret(Clipboard::Secret::Kept);
    for (int i = 0; i < 3; ++i) {
        connect(txt[i]->changes(), &BoxChanges::changed, this, [this, i] { txt_Change(i); });
        txt[i]->admitEntries([this, i](std::size_t replaced, std::size_t entered) {
            return m_boxes->admits(i, replaced, entered);
        });
    }

    ctr0 = new QLabel(this);
    ctr1 = new QLabel(this);
    ctr2 = new QLabel(this);
    QPalette labelColours = palette();
    labelColours.setColor(QPalette::WindowText, Colours::textOn(Colours::desktop()));
    const std::array<QLabel *, 3> counts = {ctr0, ctr1, ctr2};
    for (int i = 0; i < 3; ++i) {
        counts[i]->setObjectName(QStringLiteral("ctr%1").arg(i));
        counts[i]->setAlignment(Qt::AlignCenter);
        counts[i]->setFocusPolicy(Qt::NoFocus);
        counts[i]->setPalette(labelColours);

        QWidget *box = txt[i]->widget();
        box->setObjectName(QStringLiteral("txt%1").arg(i));
        // The boxes keep the usual colours, down to the corner between their scroll bars.
        box->setPalette(QApplication::palette(box));
        box->setAutoFillBackground(true);
        box->setFont(BoxFont::font(box->font()));

        Copie[i] = new QPushButton(QStringLiteral("Copy"), this);
        Copie[i]->setObjectName(QStringLiteral("Copie%1").arg(i));
        connect(Copie[i], &QPushButton::clicked, this, [this, i] { Copie_Click(i); });

        describeControls(i, box, counts[i], Copie[i]);
    }

    // Ctrl+Shift+C wherever the focus is, and an entry of the code box's menu; usable as the
    // Copy buttons are.
    auto *armoredCopy = new QAction(QStringLiteral("Copier pour un message"), this);
    m_armoredCopy = armoredCopy;
    armoredCopy->setObjectName(QStringLiteral("copy-armored"));
    armoredCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    connect(armoredCopy, &QAction::triggered, this, &KorMain::copyArmored);
    addAction(armoredCopy);
    code->addAction(armoredCopy);
    const QString armoredHint =
        QStringLiteral(" ; %1 le copie sous une forme armée, pour un message")
            .arg(armoredCopy->shortcut().toString(QKeySequence::NativeText));
    Copie[Code]->setToolTip(Copie[Code]->toolTip() + armoredHint);
    Copie[Code]->setAccessibleDescription(Copie[Code]->accessibleDescription() + armoredHint);
    code->takeArmoredTexts([this](QStringView text) {
        return m_boxes->pasteArmored(Code, {reinterpret_cast<const char16_t *>(text.utf16()),
                                            static_cast<std::size_t>(text.size())});
    });

    // Focus order: plain box, key box, code box, then the three buttons.
    setTabOrder(plain, key);
    setTabOrder(key, code);
    setTabOrder(code, Copie[0]);
    setTabOrder(Copie[0], Copie[1]);
    setTabOrder(Copie[1], Copie[2]);
    plain->setFocus();
}

int KorMain::pixels(int twips, int dpi)
{
    // Rounded to the nearest pixel, halves away from zero.
    return (twips * dpi + TwipsPerInch / 2) / TwipsPerInch;
}

void KorMain::placeControls()
{
    const int dpiX = logicalDpiX();
    const int dpiY = logicalDpiY();
    const auto place = [dpiX, dpiY](QWidget *control, const Twips &at) {
        control->setGeometry(pixels(at.left, dpiX), pixels(at.top, dpiY), pixels(at.width, dpiX),
                             pixels(at.height, dpiY));
    };
    const std::array<QLabel *, 3> counts = {ctr0, ctr1, ctr2};
    for (int i = 0; i < 3; ++i) {
        place(txt[i]->widget(), BoxPlaces[i]);
        place(counts[i], CountPlaces[i]);
        place(Copie[i], CopyPlaces[i]);
    }
    setFixedSize(pixels(ClientWidth, dpiX), pixels(ClientHeight, dpiY));
}

std::string KorMain::text(int i) const
{
    return m_boxes->text(i);
}

void KorMain::setText(int i, std::string_view codes)
{
    m_boxes->setText(i, codes);
}

void KorMain::txt_Change(int i)
{
    if (!m_showing)
        m_boxes->edited(i, txt[i]->codes());
}

void KorMain::showCodes(int i, std::string_view codes)
{
    m_showing = true;
    txt[i]->setCodes(codes);
    m_showing = false;
}

void KorMain::showCount(int i, std::size_t count)
{
    setCount(std::array{ctr0, ctr1, ctr2}[i], count);
}

void KorMain::enableCopies(bool enabled)
{
    for (QPushButton *button : Copie)
        button->setEnabled(enabled);
    m_armoredCopy->setEnabled(enabled);
}

void KorMain::showFailure(std::string_view why, std::optional<std::size_t> unit)
{
    describeFailure(txt[Plain]->widget(),
                    QString::fromUtf8(why.data(), static_cast<qsizetype>(why.size())));
    txt[Code]->markUnit(unit);
}

void KorMain::clearFailure()
{
    describeFailure(txt[Plain]->widget(), {});
    txt[Code]->markUnit(std::nullopt);
}

void KorMain::showRefusal(int i, std::string_view why)
{
    // Where the user looks after pasting, for as long as it takes to read.
    QWidget *box = txt[i]->widget();
    QToolTip::showText(box->mapToGlobal(box->rect().center()),
                       QString::fromUtf8(why.data(), static_cast<qsizetype>(why.size())), box, {},
                       RefusalShownMs);
}

void KorMain::setCount(QLabel *label, std::size_t count)
{
    const QString caption = QString::number(count);
    // The labels have a fixed width that six digits already overflow: a long count gets a
    // smaller font rather than losing digits.
    QFont font = this->font();
    const int room = label->contentsRect().width();
    while (font.pointSizeF() > MinimumCountPointSize &&
           QFontMetrics(font).horizontalAdvance(caption) > room)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    if (label->font() != font)
        label->setFont(font);
    label->setText(caption);
}

void KorMain::Copie_Click(int i)
{
    Clipboard::putCodes(text(i), txt[i]->secret());
}

void KorMain::copyArmored()
{
    if (const auto armored = m_boxes->armoredCode())
        Clipboard::putPlainText(*armored);
}
