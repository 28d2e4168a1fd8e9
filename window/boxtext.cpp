// SPDX-License-Identifier: GPL-3.0-or-later
#include "boxtext.h"

namespace BoxText {

namespace {

std::u16string_view view(QStringView text)
{
    return {text.utf16(), static_cast<std::size_t>(text.size())};
}

} // namespace

QString toDisplay(std::string_view codes, Lines lines)
{
    QString out(static_cast<qsizetype>(codes.size()), Qt::Uninitialized);
    const std::size_t used =
        DisplayForm::toDisplay(codes, lines, reinterpret_cast<char16_t *>(out.data()));
    out.truncate(static_cast<qsizetype>(used));
    return out;
}

std::size_t displayIndex(std::string_view codes, std::size_t index, Lines lines)
{
    return DisplayForm::displayIndex(codes, index, lines);
}

std::string fromDisplay(QStringView text, Lines lines)
{
    return DisplayForm::fromDisplay(view(text), lines);
}

QString toRaw(std::string_view codes)
{
    QString out(static_cast<qsizetype>(codes.size()), Qt::Uninitialized);
    DisplayForm::toRaw(codes, reinterpret_cast<char16_t *>(out.data()));
    return out;
}

std::string fromRaw(QStringView text)
{
    return DisplayForm::fromRaw(view(text));
}

QString typed(QStringView text, Lines lines)
{
    return QString::fromStdU16String(DisplayForm::typed(view(text), lines));
}

} // namespace BoxText
