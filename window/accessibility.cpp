// SPDX-License-Identifier: GPL-3.0-or-later
#include "accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <array>

namespace {

struct Field {
    const char *boxName;
    const char *boxDescription;
    const char *countName;
    const char *countDescription;
    const char *copyName;
    const char *copyDescription;
};

// Indexed like the boxes: 0 the key, 1 the plain text, 2 the code text. A button's name
// starts with its caption, so users of voice control can call it by what they see.
const std::array<Field, 3> Fields = {{
    {"Clé", "Clé du codage, au moins 2 caractères ; la modifier refait la conversion",
     "Longueur de la clé", "Nombre de caractères de la clé", "Copy (clé)",
     "Copie la clé dans le presse-papiers"},
    {"Texte en clair", "Texte en clair, codé à chaque frappe dans le texte codé",
     "Longueur du texte en clair", "Nombre de caractères du texte en clair",
     "Copy (texte en clair)", "Copie le texte en clair dans le presse-papiers"},
    {"Texte codé", "Texte codé, décodé à chaque frappe dans le texte en clair",
     "Longueur du texte codé", "Nombre de caractères du texte codé", "Copy (texte codé)",
     "Copie le texte codé dans le presse-papiers"},
}};

// The dynamic property through which a count label names what it counts.
constexpr char CountedProperty[] = "codetarvoCounted";

// A count label says what it counts and then the count it shows. QLabel's own interface
// gives either the accessible name or the text, never both, so the count would be lost.
class CountLabelAccessible final : public QAccessibleWidget {
public:
    explicit CountLabelAccessible(QLabel *label) : QAccessibleWidget(label, QAccessible::StaticText)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        const auto *label = static_cast<const QLabel *>(object());
        const QString counted = label->property(CountedProperty).toString();
        switch (t) {
        case QAccessible::Name:
            return label->text().isEmpty() ? counted
                                           : counted + QStringLiteral(" : ") + label->text();
        case QAccessible::Value:
            return label->text();
        default:
            return QAccessibleWidget::text(t);
        }
    }
};

// The dynamic property that marks the program's window.
constexpr char WindowProperty[] = "codetarvoWindow";

QAccessibleInterface *factory(const QString &, QObject *object)
{
    if (auto *label = qobject_cast<QLabel *>(object);
        label && label->property(CountedProperty).isValid())
        return new CountLabelAccessible(label);
    if (auto *window = qobject_cast<QWidget *>(object);
        window && window->isWindow() && window->property(WindowProperty).toBool())
        return new QAccessibleWidget(window, QAccessible::Window);
    return nullptr;
}

void installFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
}

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

void describeWindow(QWidget *window)
{
    installFactory();
    window->setProperty(WindowProperty, true);
}

void describeControls(int field, QWidget *box, QLabel *count, QPushButton *copy)
{
    installFactory();

    const Field &texts = Fields.at(static_cast<std::size_t>(field));
    box->setAccessibleName(text(texts.boxName));
    box->setAccessibleDescription(text(texts.boxDescription));
    // The name comes from CountLabelAccessible; an accessible name set here would stop QLabel
    // from announcing its changes of count.
    count->setProperty(CountedProperty, text(texts.countName));
    count->setAccessibleDescription(text(texts.countDescription));
    count->setToolTip(text(texts.countDescription));
    copy->setAccessibleName(text(texts.copyName));
    copy->setAccessibleDescription(text(texts.copyDescription));
    copy->setToolTip(text(texts.copyDescription));
}

void describeFailure(QWidget *plainBox, const QString &why)
{
    const QString usual = text(Fields[1].boxDescription);
    plainBox->setAccessibleDescription(why.isEmpty() ? usual : usual + QStringLiteral(". ") + why);
    plainBox->setToolTip(why);
}
