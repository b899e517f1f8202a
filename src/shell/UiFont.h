#pragma once

namespace shell {

// Makes a Japanese family the application's default user-interface font, as the system font
// of a Japanese desktop is. The layouts were sized for such a font: with a Western default
// (DejaVu Sans here) "password" no longer fits its 49-pixel label. Without any Japanese family
// the default stays; captions then fall back glyph by glyph.
void applyJapaneseUiFont();

} // namespace shell
