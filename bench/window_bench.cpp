// SPDX-License-Identifier: GPL-3.0-or-later
// Times one keystroke in each box of the real window, on the offscreen platform, against
// what the widget itself costs to show the result, and prints a table of the figures.
//
// A keystroke is measured from the key press sent to the box until the handler has
// returned, the pending events are processed and the whole window is repainted. The floor
// is a bare QPlainTextEdit of the code box's size and settings given the same result by
// setPlainText(), its pending events processed and itself repainted; it held the result
// of the previous keystroke, as the box did.
//
// Options: --runs=N (keystrokes per case, median reported; default 5), --sizes=K,K,...
// (plain text sizes in KiB; default 1,10,100,1024), --kinds=ascii,accented,lines,french,
// english (which texts), --memory (instead: the idle and peak resident memory with 4 MiB of
// French prose in the plain box, what each character held adds, and the processor time the
// window takes while idle, its cursor blinking in the code box). --benchmark_min_time=T,
// as CI passes to every benchmark, asks for one quick run on small texts. Other options
// are left to Qt.

#include "boxtext.h"
#include "keybox.h"
#include "kormain.h"
#include "textbox.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QSet>
#include <QTest>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view Key = "k3y!Tesk";

struct Settings {
    int runs = 5;
    std::vector<int> sizesKiB = {1, 10, 100, 1024};
    std::vector<std::string> kinds = {"ascii", "accented", "lines", "french", "english"};
    bool memory = false;
    bool quick = false;
};

enum class Kind {
    Ascii,    // printable ASCII on one line: the usual code text, one long line
    Lines,    // printable ASCII in lines of 78 characters and CR LF
    Accented, // lower-case accented letters, each one an escape: the code text is two
              // thirds control codes, shown as control marks
    French,   // French prose: common words with their accents, lines of about 70 characters
    English,  // English prose, the same way
};

// Common words, drawn at random into prose (Windows-1252 codes).
const std::vector<std::string_view> FrenchWords = {"le",
                                                   "la",
                                                   "les",
                                                   "de",
                                                   "des",
                                                   "et",
                                                   "à",
                                                   "un",
                                                   "une",
                                                   "est",
                                                   "pour",
                                                   "que",
                                                   "qui",
                                                   "dans",
                                                   "pas",
                                                   "plus",
                                                   "été",
                                                   "être",
                                                   "après",
                                                   "même",
                                                   "très",
                                                   "déjà",
                                                   "où",
                                                   "franç"
                                                   "ais",
                                                   "fenêtre",
                                                   "près",
                                                   "côté",
                                                   "élève",
                                                   "coûte",
                                                   "s"
                                                   "ur",
                                                   "c"
                                                   "ur",
                                                   "noël",
                                                   "naïf",
                                                   "garçon",
                                                   "théâtre",
                                                   "forêt",
                                                   "hôtel",
                                                   "é"
                                                   "cole",
                                                   "reçu",
                                                   "première",
                                                   "journé"
                                                   "e",
                                                   "société",
                                                   "problème",
                                                   "idé"
                                                   "e",
                                                   "voilà",
                                                   "État",
                                                   "maison",
                                                   "temps",
                                                   "avec",
                                                   "comme",
                                                   "mais",
                                                   "nous",
                                                   "vous",
                                                   "ils",
                                                   "anné"
                                                   "e"};
const std::vector<std::string_view> EnglishWords = {
    "the",  "of",    "and",   "to",   "in",   "is",    "you",   "that",  "it",   "he",    "was",
    "for",  "on",    "are",   "as",   "with", "his",   "they",  "at",    "be",   "this",  "have",
    "from", "or",    "one",   "had",  "by",   "word",  "but",   "not",   "what", "all",   "were",
    "we",   "when",  "your",  "can",  "said", "there", "use",   "an",    "each", "which", "she",
    "do",   "how",   "their", "if",   "will", "up",    "other", "about", "out",  "many",  "then",
    "them", "these", "so",    "some", "her",  "would", "make",  "like"};

const char *kindName(Kind kind)
{
    switch (kind) {
    case Kind::Ascii:
        return "ascii";
    case Kind::Lines:
        return "lines";
    case Kind::Accented:
        return "accented";
    case Kind::French:
        return "french";
    case Kind::English:
        return "english";
    }
    return "?";
}

// Words drawn from WORDS, separated by spaces, sentences by ". ", lines of about 70
// characters ended by CR LF; cut at SIZE codes.
std::string prose(const std::vector<std::string_view> &words, std::size_t size)
{
    std::mt19937 rng(20261207);
    std::string text;
    text.reserve(size + 80);
    std::size_t lineStart = 0;
    bool sentenceStart = true;
    while (text.size() < size) {
        std::string word(words[rng() % words.size()]);
        if (sentenceStart && word[0] >= 'a' && word[0] <= 'z')
            word[0] = static_cast<char>(word[0] - 'a' + 'A');
        text += word;
        sentenceStart = rng() % 12 == 0;
        text += sentenceStart ? ". " : " ";
        if (text.size() - lineStart >= 70) {
            text.back() = '\r';
            text += '\n';
            lineStart = text.size();
        }
    }
    text.resize(size);
    return text;
}

std::string plainText(Kind kind, std::size_t size)
{
    if (kind == Kind::French)
        return prose(FrenchWords, size);
    if (kind == Kind::English)
        return prose(EnglishWords, size);
    std::mt19937 rng(20261207); // fixed seed: every run measures the same texts
    std::string text;
    text.reserve(size);
    while (text.size() < size) {
        if (kind == Kind::Lines && text.size() % 80 == 78 && text.size() + 2 <= size) {
            text += "\r\n";
            continue;
        }
        if (kind == Kind::Accented)
            text.push_back(static_cast<char>(0xE0 + rng() % 32));
        else
            text.push_back(static_cast<char>(0x20 + rng() % 95));
    }
    return text;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Kilobytes of the line NAME of /proc/self/status (VmRSS, VmHWM), or -1.
long statusKiB(const char *name)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(name);
    while (std::getline(status, line)) {
        if (line.compare(0, length, name) == 0 && line.size() > length && line[length] == ':')
            return std::atol(line.c_str() + length + 1);
    }
    return -1;
}

class Bench : public QObject {
public:
    explicit Bench(const Settings &settings) : m_settings(settings)
    {
        m_window.show();
        for (int i = 0; i < 3; ++i)
            m_box[i] = m_window.findChild<QWidget *>(QStringLiteral("txt%1").arg(i));
        m_keyBox = qobject_cast<KeyBox *>(m_box[0]);
        m_plainBox = qobject_cast<TextBox *>(m_box[1]);
        m_codeBox = qobject_cast<TextBox *>(m_box[2]);

        // The floor widget: what QPlainTextEdit alone costs, set up like the boxes.
        m_floor.setLineWrapMode(QPlainTextEdit::NoWrap);
        m_floor.setWordWrapMode(QTextOption::NoWrap);
        m_floor.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        m_floor.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        m_floor.setFont(m_codeBox->font());
        m_floor.setFixedSize(m_codeBox->size());
        m_floor.show();
        for (QWidget *viewport :
             {m_plainBox->viewport(), m_codeBox->viewport(), m_floor.viewport()})
            viewport->installEventFilter(this);
        if (!QTest::qWaitForWindowExposed(&m_window) || !QTest::qWaitForWindowExposed(&m_floor))
            std::fprintf(stderr, "window_bench: the windows were not exposed\n");
    }

    void runTimes()
    {
        std::printf("%-9s %8s  %-5s %11s %9s %7s  %s\n", "text", "plain", "box", "keystroke",
                    "floor", "ratio", "aim");
        const Kind kinds[] = {Kind::Ascii, Kind::Accented, Kind::Lines, Kind::French,
                              Kind::English};
        for (const Kind kind : kinds) {
            const auto &wanted = m_settings.kinds;
            if (std::find(wanted.begin(), wanted.end(), kindName(kind)) == wanted.end())
                continue;
            for (const int kib : m_settings.sizesKiB)
                runCase(kind, static_cast<std::size_t>(kib) * 1024);
        }
        std::printf("(boxes the event loop left unpainted, painted by the harness: %d)\n",
                    m_forcedPaints);
    }

    void runMemory()
    {
        settle();
        const long idle = statusKiB("VmRSS");
        constexpr std::size_t Size = std::size_t{4} << 20;
        m_window.setText(KorMain::Key, Key);
        m_window.setText(KorMain::Plain, plainText(Kind::French, Size));
        for (int i = 0; i < 3; ++i) {
            typeAtEnd(m_plainBox, Qt::Key_A);
            typeAtEnd(m_codeBox, Qt::Key_AsciiTilde);
            typeAtEnd(m_keyBox, Qt::Key_X);
        }
        const long held = statusKiB("VmRSS");
        std::printf("resident memory   idle (window shown): %.1f MiB\n", idle / 1024.0);
        std::printf("resident memory   4 MiB of French, now: %.1f MiB, peak: %.1f MiB; "
                    "%.0f bytes per character (aim: at most 40)\n",
                    held / 1024.0, statusKiB("VmHWM") / 1024.0,
                    static_cast<double>(held - idle) * 1024 / static_cast<double>(Size));

        // The cursor blinks in the code box of the active window, its view on the end of the
        // text.
        m_window.activateWindow();
        if (!QTest::qWaitForWindowActive(&m_window))
            std::fprintf(stderr, "window_bench: the window did not become active\n");
        m_codeBox->setFocus();
        m_codeBox->moveCursor(QTextCursor::End);
        settle();
        constexpr int IdleMs = 5000;
        const int paintsBefore = m_codePaints;
        const std::clock_t cpuBefore = std::clock();
        QElapsedTimer idleTimer;
        idleTimer.start();
        QEventLoop blinking;
        QTimer::singleShot(IdleMs, &blinking, &QEventLoop::quit);
        blinking.exec();
        const double cpuMs =
            1000.0 * static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
        std::printf(
            "idle, the cursor blinking (%d paints): %.2f %% of a core (aim: at most 1 %%)\n",
            m_codePaints - paintsBefore, 100.0 * cpuMs / static_cast<double>(idleTimer.elapsed()));
    }

private:
    static void settle() { QCoreApplication::processEvents(); }

    // Milliseconds for one key press at the end of BOX, until the window is repainted.
    double typeAtEnd(QWidget *box, Qt::Key key)
    {
        if (auto *text = qobject_cast<QPlainTextEdit *>(box))
            text->moveCursor(QTextCursor::End);
        else
            m_keyBox->end(false);
        settle();
        m_paints.clear();
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(box, key);
        QCoreApplication::processEvents();
        paintIfNotPainted(m_plainBox->viewport());
        paintIfNotPainted(m_codeBox->viewport());
        return static_cast<double>(timer.nsecsElapsed()) / 1e6;
    }

    // Milliseconds for TEXT pasted over the whole plain box with Ctrl+V, until the window is
    // repainted.
    double pasteTime(const std::string &text)
    {
        m_window.setText(KorMain::Plain, "");
        QGuiApplication::clipboard()->setText(BoxText::toRaw(text));
        m_plainBox->setFocus();
        settle();
        m_paints.clear();
        QElapsedTimer timer;
        timer.start();
        QTest::keySequence(m_plainBox, QKeySequence::Paste);
        QCoreApplication::processEvents();
        paintIfNotPainted(m_plainBox->viewport());
        paintIfNotPainted(m_codeBox->viewport());
        return static_cast<double>(timer.nsecsElapsed()) / 1e6;
    }

    // Milliseconds for the bare widget to replace BEFORE by AFTER and show it.
    double floorTime(const QString &before, const QString &after)
    {
        m_floor.setPlainText(before);
        m_floor.repaint();
        settle();
        m_paints.clear();
        QElapsedTimer timer;
        timer.start();
        m_floor.setPlainText(after);
        QCoreApplication::processEvents();
        paintIfNotPainted(m_floor.viewport());
        return static_cast<double>(timer.nsecsElapsed()) / 1e6;
    }

    // The event loop paints what changed; a box it left alone is painted here, so every
    // figure includes the paint of each box concerned exactly once.
    void paintIfNotPainted(QWidget *viewport)
    {
        if (!m_paints.contains(viewport)) {
            viewport->repaint();
            ++m_forcedPaints;
        }
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            m_paints.insert(watched);
            m_codePaints += watched == m_codeBox->viewport();
        }
        return false;
    }

    static QString shown(const TextBox *box)
    {
        return BoxText::toDisplay(box->codes(), BoxText::Lines::Multi);
    }

    void runCase(Kind kind, std::size_t size)
    {
        m_window.setText(KorMain::Key, Key);
        const std::string text = plainText(kind, size);
        m_window.setText(KorMain::Plain, text);
        settle();
        struct Times {
            std::vector<double> keystroke;
            std::vector<double> floor;
        };
        Times plain;
        Times code;
        Times key;
        for (int run = 0; run < m_settings.runs; ++run) {
            QString before = shown(m_codeBox);
            plain.keystroke.push_back(typeAtEnd(m_plainBox, Qt::Key_A));
            plain.floor.push_back(floorTime(before, shown(m_codeBox)));

            // '~' is at least every code of the key: a normal group, so the code text
            // stays valid and decodes to one more character.
            before = shown(m_plainBox);
            code.keystroke.push_back(typeAtEnd(m_codeBox, Qt::Key_AsciiTilde));
            code.floor.push_back(floorTime(before, shown(m_plainBox)));

            before = shown(m_codeBox);
            key.keystroke.push_back(typeAtEnd(m_keyBox, Qt::Key_X));
            key.floor.push_back(floorTime(before, shown(m_codeBox)));
        }
        print(kind, size, "plain", plain.keystroke, plain.floor);
        print(kind, size, "code", code.keystroke, code.floor);
        print(kind, size, "key", key.keystroke, key.floor);
        std::vector<double> paste;
        for (int run = 0; run < m_settings.runs; ++run)
            paste.push_back(pasteTime(text));
        print(kind, size, "paste", paste, {});
        std::fflush(stdout);
    }

    static void print(Kind kind, std::size_t size, const char *box,
                      const std::vector<double> &keystroke, const std::vector<double> &floor)
    {
        const double k = median(keystroke);
        const double f = floor.empty() ? 0 : median(floor);
        const double ratio = f > 0 ? k / f : 0;
        std::string aim = floor.empty() ? "" : ratio <= 1.3 ? "ratio met" : "ratio NOT met";
        // Prose, what users write, has the tighter aims; the other kinds are the extremes.
        const bool prose = kind == Kind::French || kind == Kind::English;
        const bool pasting = floor.empty();
        double limit = 0;
        if (pasting)
            limit = size == 4 * 1024 * 1024 && prose ? 500 : 0;
        else if (size == 10 * 1024)
            limit = 16;
        else if (size == 100 * 1024)
            limit = prose ? 50 : 100;
        else if (size == 1024 * 1024 && prose)
            limit = 16;
        else if (size == 4 * 1024 * 1024 && prose)
            limit = 50;
        if (limit > 0) {
            char text[48];
            std::snprintf(text, sizeof text, "%s<= %.0f ms %s", aim.empty() ? "" : ", ", limit,
                          k <= limit ? "met" : "NOT met");
            aim += text;
        }
        char sizeText[32];
        if (size >= 1024 * 1024)
            std::snprintf(sizeText, sizeof sizeText, "%zu MiB", size >> 20);
        else
            std::snprintf(sizeText, sizeof sizeText, "%zu KiB", size >> 10);
        std::printf("%-9s %8s  %-5s %8.2f ms %6.2f ms %7.2f  %s\n", kindName(kind), sizeText, box,
                    k, f, ratio, aim.c_str());
    }

    const Settings &m_settings;
    QSet<QObject *> m_paints; // viewports painted since the measure began
    int m_forcedPaints = 0;
    int m_codePaints = 0; // paints of the code box's viewport
    KorMain m_window;
    QPlainTextEdit m_floor;
    std::array<QWidget *, 3> m_box{};
    KeyBox *m_keyBox = nullptr;
    TextBox *m_plainBox = nullptr;
    TextBox *m_codeBox = nullptr;
};

// Takes the harness's own options out of ARGV, leaving Qt's.
Settings parseSettings(int &argc, char **argv)
{
    Settings settings;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.rfind("--runs=", 0) == 0) {
            settings.runs = std::max(1, std::atoi(argv[i] + 7));
        } else if (arg.rfind("--sizes=", 0) == 0) {
            settings.sizesKiB.clear();
            for (const char *p = argv[i] + 8; *p;) {
                char *end = nullptr;
                const long kib = std::strtol(p, &end, 10);
                if (end == p)
                    break;
                if (kib > 0)
                    settings.sizesKiB.push_back(static_cast<int>(kib));
                p = *end == ',' ? end + 1 : end;
            }
        } else if (arg.rfind("--kinds=", 0) == 0) {
            settings.kinds.clear();
            std::string_view list = arg.substr(8);
            while (!list.empty()) {
                const std::size_t comma = std::min(list.find(','), list.size());
                settings.kinds.emplace_back(list.substr(0, comma));
                list.remove_prefix(std::min(comma + 1, list.size()));
            }
        } else if (arg == "--memory") {
            settings.memory = true;
        } else if (arg.rfind("--benchmark_", 0) == 0) {
            settings.quick = settings.quick || arg.rfind("--benchmark_min_time", 0) == 0;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    argv[argc] = nullptr;
    if (settings.quick) {
        settings.runs = 1;
        settings.sizesKiB = {1, 10};
    }
    return settings;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const Settings settings = parseSettings(argc, argv);
    QApplication app(argc, argv);
    Bench bench(settings);
    if (settings.memory)
        bench.runMemory();
    else
        bench.runTimes();
    return 0;
}
