// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <initializer_list>
#include <span>

namespace rxdeck {

// The texts a handler writes into one of the panel's controls while the program runs,
// beyond the one the control starts with: the widest of each shape. Digits share one
// width in the faces a desktop offers. Each handler keeps its table beside its code;
// the text fitting (shell/textfit.h) makes room for all of them.
struct WrittenTexts
{
    const char* control; // the control's object name
    std::initializer_list<const char*> texts;
};
using WrittenTextTable = std::span<const WrittenTexts>;

} // namespace rxdeck
