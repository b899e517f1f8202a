#include "shell/UiFont.h"

#include <QApplication>
#include <QFontDatabase>

namespace shell {

void applyJapaneseUiFont()
{
    // Noto Sans CJK comes with fonts-noto-cjk, which the set-up installs; 8 pt gives the
    // Latin captions about the width of the 9-pt system font the layouts were drawn with.
    const QStringList preferred { QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAPGothic"),
        QStringLiteral("IPAGothic") };
    const QStringList installed = QFontDatabase::families(QFontDatabase::Japanese);
    for (const QString& family : preferred) {
        if (installed.contains(family)) {
            QFont font(family);
            font.setPointSize(8);
            QApplication::setFont(font);
            return;
        }
    }
}

} // namespace shell
