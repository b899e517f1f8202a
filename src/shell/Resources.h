#pragma once

namespace shell {

// Registers the shell's compiled-in resources (the logo). A .qrc inside a static library is not
// registered by itself: without this call Picture1 shows an empty pixmap. Safe to call often.
void initResources();

} // namespace shell
