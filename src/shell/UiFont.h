#pragma once

namespace shell {

// Makes a Japanese family the application's default user-interface font, as the system font
// of a Japanese desktop is. The layouts were sized for such a font: a Western default is wider
// and cuts the login labels' captions. Without any Japanese family the default stays; captions
// then fall back glyph by glyph.
void applyJapaneseUiFont();

} // namespace shell
