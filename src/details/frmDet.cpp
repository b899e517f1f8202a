#include "details/frmDet.h"

#include "details/GroupReads.h"
#include "directory/Directory.h"
#include "platform/ButtonKeys.h"
#include "platform/MessageBox.h"
#include "platform/SlotGuard.h"
#include "platform/WaitCursor.h"
#include "platform/mdlMain.h"

#include <QKeyEvent>

using directory::DirectoryError;
using directory::DirObject;

namespace {

// The user tab's tolerant mode: a step that fails is skipped, silently, and the next one runs.
template <class Step> void skipOnError(Step&& step)
{
    try {
        std::forward<Step>(step)();
    } catch (const DirectoryError&) { }
}

} // namespace

frmDet::frmDet(QWidget* parent)
    : QDialog(parent)
{
    setupUi(this);

    connect(cmdUpdate, &QPushButton::clicked, this, [this] { platform::runGuarded([this] { cmdUpdate_Click(); }); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { platform::runGuarded([this] { cmdClose_Click(); }); });
    platform::enterPressesButtons(this);

    Form_Load();
}

void frmDet::Form_Load()
{
    if (mdlMain::strObjectPath.isEmpty()) {
        platform::MsgBox(QStringLiteral("情報の取得に失敗しました。"), platform::MessageIcon::None, boxOwner());
        return;
    }
    ShowDetail(mdlMain::strObjectPath);
}

QWidget* frmDet::boxOwner()
{
    // During the load step the window is not on screen yet: a box over it would sit at its
    // unplaced position, so it goes to the middle of the screen instead.
    return isVisible() ? this : nullptr;
}

void frmDet::cmdUpdate_Click()
{
    Form_Load();
}

void frmDet::keyPressEvent(QKeyEvent* event)
{
    // QDialog would reject() on the cancel key.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmDet::cmdClose_Click()
{
    close();
}

void frmDet::ClearFields()
{
    txtOuName->setText(QString());
    txtCompName->setText(QString());
    txtGrpName->setText(QString());
    lstGrpMember->clear();
    lstGrpGroup->clear();
    txtUsrName->setText(QString());
    txtDisName->setText(QString());
    txtLastName->setText(QString());
    txtGivenName->setText(QString());
    lstUsrGroup->clear();
}

bool frmDet::ShowDetail(const QString& path)
{
    bool result = false;
    const platform::WaitCursor hourglass(this);
    try {
        ClearFields();
        const DirObject obj = directory::currentDirectory().bind(path);
        const QString& strClass = obj.className();

        if (strClass == u"container") {
            sstDet->setCurrentWidget(tabOU);
            txtOuName->setText(obj.get(QStringLiteral("cn")).toString());
        } else if (strClass == u"organizationalUnit") {
            sstDet->setCurrentWidget(tabOU);
            txtOuName->setText(obj.get(QStringLiteral("ou")).toString());
        } else if (strClass == u"computer") {
            sstDet->setCurrentWidget(tabComputer);
            txtCompName->setText(obj.get(QStringLiteral("cn")).toString());
        } else if (strClass == u"group") {
            sstDet->setCurrentWidget(tabGroup);
            txtGrpName->setText(obj.get(QStringLiteral("cn")).toString());
            // Members first, then memberships; the first entry that cannot be bound ends the
            // procedure in the trap, with the entries before it listed.
            for (const directory::ReadResult& member : details::memberNames(obj)) {
                if (member.error)
                    throw *member.error;
                lstGrpGroup->addItem(member.value.toString());
            }
            for (const directory::ReadResult& group : details::membershipNames(obj)) {
                if (group.error)
                    throw *group.error;
                lstGrpMember->addItem(group.value.toString());
            }
        } else if (strClass == u"user") {
            sstDet->setCurrentWidget(tabUser);
            skipOnError([&] { txtUsrName->setText(obj.get(QStringLiteral("cn")).toString()); });
            skipOnError([&] { txtDisName->setText(obj.get(QStringLiteral("DisplayName")).toString()); });
            skipOnError([&] { txtLastName->setText(obj.get(QStringLiteral("LastName")).toString()); });
            skipOnError([&] { txtGivenName->setText(obj.get(QStringLiteral("givenname")).toString()); });
            // A group that cannot be bound gives no entry; a failed read of MemberOf counts as empty.
            skipOnError([&] {
                for (const directory::ReadResult& group : details::membershipNames(obj)) {
                    if (!group.error)
                        lstUsrGroup->addItem(group.value.toString());
                }
            });
        } else {
            sstDet->setCurrentWidget(tabOU);
            platform::MsgBox(
                QStringLiteral("このオブジェクトの詳細画面はありません。"), platform::MessageIcon::Warning, boxOwner());
            return result;
        }
        result = true;
    } catch (const DirectoryError& error) {
        platform::MsgBox(error.reportText(), platform::MessageIcon::Critical, boxOwner());
        result = false;
    }
    return result;
}
