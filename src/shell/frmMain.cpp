#include "shell/frmMain.h"

#include "browser/NodeTreeModel.h"
#include "browser/ObjectListModel.h"
#include "platform/AppInfo.h"
#include "platform/ButtonKeys.h"
#include "platform/Cp932.h"
#include "platform/PrivateProfile.h"
#include "platform/SlotGuard.h"
#include "probes/basAPI.h"
#include "shell/Resources.h"

#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QStyle>
#include <QTreeView>
#include <array>
#include <utility>

namespace {

const char* const iniSection = "Data";

// The file system's bytes, not CP932: the folder may be named with what CP932 cannot hold.
QByteArray settingsFileName()
{
    // "/" and not "\": the backslash is no path separator here.
    return QFile::encodeName(platform::appPath() + QStringLiteral("/data.ini"));
}

} // namespace

frmMain::frmMain(QWidget* parent)
    : QWidget(parent)
{
    shell::initResources();
    setupUi(this);

    // The layout scales as a whole on a scaled screen (QT_SCALE_FACTOR, a high-DPI monitor); the
    // logo then comes from the picture drawn at twice the size, or it would be blurred.
    if (Picture1->devicePixelRatioF() > 1.0) {
        QPixmap sharp(QStringLiteral(":/shell/logo@2x.jpg"));
        sharp.setDevicePixelRatio(2.0);
        Picture1->setPixmap(sharp);
    }

    tvNodeModel = new browser::NodeTreeModel(this);
    tvNode->setModel(tvNodeModel);
    lvListModel = new browser::ObjectListModel(this);
    lvList->setModel(lvListModel);

    // A .ui file cannot hold column widths.
    QHeaderView* header = lvList->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    // Qt's default minimum follows the font's widest glyph and would widen "No" past its width.
    header->setMinimumSectionSize(36);
    header->resizeSection(0, 36);
    header->resizeSection(1, 198);
    header->resizeSection(2, 218);

    createPopupMenu();
    connectHandlers();

    // Centred by the client size: the frame comes from the window manager, after show().
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));

    Form_Load();
}

void frmMain::createPopupMenu()
{
    mnuPopup = new QMenu(QStringLiteral("ポップアップ"), this);
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    mnuListOutPut = mnuPopup->addAction(QStringLiteral("一覧出力..."));
    mnuListOutPut->setObjectName(QStringLiteral("mnuListOutPut"));
    mnuProperty = mnuPopup->addAction(QStringLiteral("プロパティ"));
    mnuProperty->setObjectName(QStringLiteral("mnuProperty"));
}

void frmMain::connectHandlers()
{
    const auto onClick = [this](QPushButton* button, void (frmMain::*handler)()) {
        connect(button, &QPushButton::clicked, this,
            [this, handler] { platform::runGuarded([&] { (this->*handler)(); }); });
    };
    onClick(cmdConnect, &frmMain::cmdConnect_Click);
    onClick(cmdDisConect, &frmMain::cmdDisConect_Click);
    onClick(cmdClose, &frmMain::cmdClose_Click);
    const std::array<std::pair<QPushButton*, void (frmMain::*)()>, 8> probes { {
        { Command1, &frmMain::Command1_Click },
        { Command2, &frmMain::Command2_Click },
        { Command3, &frmMain::Command3_Click },
        { Command4, &frmMain::Command4_Click },
        { Command5, &frmMain::Command5_Click },
        { Command6, &frmMain::Command6_Click },
        { Command7, &frmMain::Command7_Click },
        { Command8, &frmMain::Command8_Click },
    } };
    for (const auto& [button, handler] : probes)
        onClick(button, handler);
    platform::enterPressesButtons(this);

    connect(tvNode, &QTreeView::clicked, this,
        [this](const QModelIndex& node) { platform::runGuarded([&] { tvNode_NodeClick(node); }); });
    connect(
        mnuListOutPut, &QAction::triggered, this, [this] { platform::runGuarded([this] { mnuListOutPut_Click(); }); });
    connect(mnuProperty, &QAction::triggered, this, [this] { platform::runGuarded([this] { mnuProperty_Click(); }); });

    // Mouse-up over the tree and double-click anywhere on the list are seen on the viewports:
    // the views have no signal for a release over empty space or a double-click off the rows.
    tvNode->viewport()->installEventFilter(this);
    lvList->viewport()->installEventFilter(this);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tvNode->viewport()) {
        const auto type = event->type();
        if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease
            && type != QEvent::MouseButtonDblClick)
            return QWidget::eventFilter(watched, event);
        const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
        if (type == QEvent::MouseButtonRelease)
            platform::runGuarded([&] { tvNode_MouseUp(button); });
        // Only the left button selects and lists. A right click must not select the node under
        // the pointer either: the menu acts on the selected node. Releases are swallowed too, or
        // the view would report a click on the node of the last left press. The middle button
        // and the others do nothing here at all.
        if (button != Qt::LeftButton) {
            if (button == Qt::RightButton && type == QEvent::MouseButtonPress)
                tvNode->setFocus(Qt::MouseFocusReason);
            return true;
        }
        return false;
    }
    if (watched == lvList->viewport() && event->type() == QEvent::MouseButtonDblClick
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        platform::runGuarded([this] { lvList_DblClick(); });
        return false;
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::cmdClose_Click()
{
    close();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

std::array<std::pair<const char*, QLineEdit*>, 3> frmMain::loginFields() const
{
    return { {
        { "DOMAIN", txtDomain },
        { "ACCOUNT", txtAccount },
        { "PASSWORD", txtPassWord },
    } };
}

void frmMain::Form_Load()
{
    // Neither a read that fails nor a converter that cannot be opened may stop the window: every
    // failure is swallowed, a field whose read failed stays empty and the next key is still read.
    const QByteArray fileName = settingsFileName();
    // The file is read once for the three keys.
    const platform::ProfileBatch batch(fileName.constData(), platform::ProfileBatch::Reading);
    // One buffer of 255 characters serves the three reads; each value ends at its first NUL,
    // so what a longer earlier value left behind never leaks into the next field.
    QString strBuf(255, QChar(u'\0'));
    for (const auto& [key, textBox] : loginFields()) {
        try {
            QByteArray ansiBuf = platform::toAnsi(strBuf);
            GetPrivateProfileStringA(iniSection, key, "", ansiBuf.data(), 255, fileName.constData());
            strBuf = platform::fromAnsi(ansiBuf).leftJustified(255, QChar(u' '), true);
            const qsizetype nul = strBuf.indexOf(QChar(u'\0'));
            textBox->setText(nul < 0 ? strBuf : strBuf.left(nul));
        } catch (...) { }
    }
}

void frmMain::Form_Unload()
{
    // The unload never reports and never stops: a refused write, or a text that cannot be
    // converted, is ignored and the next key is still written.
    const QByteArray fileName = settingsFileName();
    // One copy of the program saves at a time, and the three keys reach the file in one replacement.
    platform::ProfileBatch batch(fileName.constData(), platform::ProfileBatch::Saving);
    for (const auto& [key, textBox] : loginFields()) {
        try {
            WritePrivateProfileStringA(
                iniSection, key, platform::toAnsi(textBox->text()).constData(), fileName.constData());
        } catch (...) { }
    }
    batch.commit();
}
