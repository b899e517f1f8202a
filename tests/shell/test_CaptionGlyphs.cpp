// Japanese captions are drawn as glyphs, not as the box of a missing character, and the list's
// columns keep their widths under the real font. Run under offscreen by ctest and on a real X
// server by check_screenshots.sh, which also keeps the pictures of both windows
// (MIVORA_SCREENSHOT_DIR).
#include "AppFolderScope.h"
#include "VisibleLayout.h"
#include "platform/AppInfo.h"
#include "shell/UiFont.h"
#include "shell/frmMain.h"
#include "ui_frmDet.h"

#include <QApplication>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <memory>

namespace {

// The text as the widget's font draws it, each character on its own.
QImage drawn(const QString& text, const QFont& font)
{
    const QFontMetrics metrics(font);
    QImage image(metrics.height() * 2, metrics.height() * 2, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(image.rect(), Qt::AlignCenter, text);
    return image;
}

int inkPixels(const QImage& image)
{
    int ink = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ink += qGray(image.pixel(x, y)) < 128;
    return ink;
}

// U+0378 is unassigned: every font draws it as its missing-character box.
const QString missing = QString(QChar(0x0378));

void keep(const QPixmap& picture, const QString& name)
{
    const QString dir = qEnvironmentVariable("MIVORA_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        QVERIFY(picture.save(dir + u'/' + name, "PNG"));
}

} // namespace

class TestCaptionGlyphs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(appDir.isValid());
        shell::applyJapaneseUiFont();
    }

    // The Latin captions of the layout fit their labels only with the Japanese UI font.
    void loginLabelsShowTheirWholeCaption()
    {
        frmMain window;
        for (const QLabel* label : { window.Label1, window.Label2, window.Label3 })
            QVERIFY2(
                label->fontMetrics().horizontalAdvance(label->text()) <= label->width(), qPrintable(label->text()));
    }

    // Run again at QT_SCALE_FACTOR=2 by check_hidpi.sh: the font scales with the layout.
    void everyCaptionOfBothWindowsFitsItsControl()
    {
        frmMain window;
        QDialog dialog;
        Ui::frmDet ui;
        ui.setupUi(&dialog);
        // Shown, so that the tabs are laid out; hidden controls too, as the layout holds them.
        for (QWidget* root : { static_cast<QWidget*>(&window), static_cast<QWidget*>(&dialog) }) {
            root->show();
            QVERIFY(QTest::qWaitForWindowExposed(root));
            for (const QWidget* control : root->findChildren<QWidget*>())
                QCOMPARE(visiblelayout::cutCaptions(control).join(u' '), QString());
        }
    }

    // Qt's own minimum width of a column follows the font's widest glyph: in a real window it
    // must not widen "No" past the width asked.
    void listColumnsAreAsWideAsAsked()
    {
        frmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QHeaderView* header = window.lvList->header();
        QCOMPARE(header->sectionSize(0), 36);
        QCOMPARE(header->sectionSize(1), 198);
        QCOMPARE(header->sectionSize(2), 218);
    }

    void aJapaneseFontIsInstalled()
    {
        const QStringList families = QFontDatabase::families(QFontDatabase::Japanese);
        QVERIFY2(!families.isEmpty(), "no font for Japanese: install fonts-noto-cjk");
        bool covers = false;
        for (const QString& family : families) {
            const QFontMetrics metrics { QFont(family) };
            covers = covers || std::all_of(captions.begin(), captions.end(), [&](QChar c) {
                return metrics.inFontUcs4(c.unicode());
            });
        }
        QVERIFY2(covers, "no installed family has every caption character");
    }

    // A missing glyph is drawn as the same box for every character, so two boxes look alike.
    void everyCaptionCharacterHasAGlyphOfItsOwn()
    {
        const QFont font = QApplication::font();
        const QImage box = drawn(missing, font);
        QList<QImage> seen;
        QString chars;
        for (const QChar c : captions) {
            if (chars.contains(c))
                continue;
            chars += c;
            const QImage image = drawn(c, font);
            QVERIFY2(inkPixels(image) > 0, qPrintable(QString(c)));
            QVERIFY2(image != box, qPrintable(QString(c) + QStringLiteral(" is drawn as a box")));
            QVERIFY2(!seen.contains(image), qPrintable(QString(c) + QStringLiteral(" looks like another character")));
            seen << image;
        }
    }

    void mainWindowButtonsShowTheirJapaneseCaptions()
    {
        frmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        keep(window.grab(), QStringLiteral("frmMain.png"));
        for (QPushButton* button : { window.cmdConnect, window.cmdDisConect, window.cmdClose }) {
            const QImage shown = button->grab().toImage();
            const QString caption = button->text();
            button->setText(missing + missing);
            const QImage boxes = button->grab().toImage();
            button->setText(QString());
            const QImage blank = button->grab().toImage();
            button->setText(caption);
            QVERIFY2(shown != blank, qPrintable(caption + QStringLiteral(" draws nothing")));
            QVERIFY2(shown != boxes, qPrintable(caption + QStringLiteral(" draws boxes")));
        }
    }

    void detailsWindowIsDrawnOnEachTab()
    {
        QDialog dialog;
        Ui::frmDet ui;
        ui.setupUi(&dialog);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        keep(dialog.grab(), QStringLiteral("frmDet-User.png"));
        ui.sstDet->setCurrentIndex(2);
        keep(dialog.grab(), QStringLiteral("frmDet-Group.png"));
        const QImage label = ui.Label9->grab().toImage();
        const QString caption = ui.Label9->text();
        ui.Label9->setText(QString(caption.size(), missing.front()));
        QVERIFY(ui.Label9->grab().toImage() != label);
        ui.Label9->setText(caption);
    }

private:
    AppFolderScope appDir;
    const QString captions = QStringLiteral(
        "接続切断終了オブジェクト管理一覧出力プロパティ詳細閉じる名称表示姓メンバ所属するグループ種類");
};

QTEST_MAIN(TestCaptionGlyphs)
#include "test_CaptionGlyphs.moc"
