// SPDX-License-Identifier: GPL-3.0-or-later
#include "failuretext.h"

namespace FailureText {

namespace {

// What the unit is or lacks; the command line says the same in English.
const char *reason(ModCodeur::DecodeFailure failure)
{
    using ModCodeur::DecodeFailure;
    switch (failure) {
    case DecodeFailure::None:
        return "aucune erreur";
    case DecodeFailure::EmptyCode:
        return "manquante, le texte codé est vide";
    case DecodeFailure::StartOutsideKey:
        return "décalage de départ hors de la clé";
    case DecodeFailure::NoGroup:
        return "manquante, le texte codé ne contient aucun groupe";
    case DecodeFailure::EscapeCutShort:
        return "manquante, groupe d'échappement tronqué";
    case DecodeFailure::BelowKey:
        return "plus petite que le code de son caractère de clé";
    case DecodeFailure::EscapeAbove255:
        return "valeur d'échappement au-delà de 255";
    }
    return "erreur inconnue";
}

// What is wrong with an armored text; the command line says the same in English.
const char *damage(Armor::Problem problem)
{
    using Armor::Problem;
    switch (problem) {
    case Problem::None:
        return "aucune erreur";
    case Problem::NotFound:
        return "pas de « BEGIN CODE TARVO MESSAGE. »";
    case Problem::BadCharacter:
        return "un caractère qu'un texte armé ne contient jamais";
    case Problem::Damaged:
        return "un caractère changé, ajouté, perdu ou interverti, ou une ligne perdue, doublée "
               "ou déplacée";
    case Problem::CutShort:
        return "la fin manque";
    case Problem::TrailingData:
        return "des lignes en trop après la dernière";
    }
    return "erreur inconnue";
}

} // namespace

std::string why(ModCodeur::DecodeFailure failure, std::size_t unit)
{
    return "Le texte codé ne correspond pas à la clé. Unité " + std::to_string(unit) + " : " +
           reason(failure) + ".";
}

std::string fitsNow()
{
    return "Le texte codé correspond maintenant à la clé : « Erreur » vient d'une clé "
           "précédente, et toute modification du texte codé le décode.";
}

std::string keyTooShort()
{
    return "La clé a moins de 2 caractères : rien n'est converti.";
}

std::string tooLong(std::size_t limit)
{
    return "Texte trop long : une boîte en tient au plus " + std::to_string(limit >> 20) +
           " Mio. Rien n'a été collé ; pour un texte plus long, utilisez codetarvo-cli.";
}

std::string armorDamaged(Armor::Problem problem, std::size_t line)
{
    return "Le texte armé est abîmé à la ligne " + std::to_string(line) + " : " + damage(problem) +
           ". Le texte codé est resté tel quel ; toute modification le décode.";
}

} // namespace FailureText
