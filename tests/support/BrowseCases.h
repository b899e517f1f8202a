#pragma once

// The steps of the browsing cases that the slapd tier (it_ConnectBrowse) and the Samba tier
// (ad_ConnectBrowse) share.

#include "ListRows.h"
#include "MessageRecorder.h"
#include "ServerListing.h"
#include "UserActions.h"
#include "directory/Dn.h"
#include "shell/frmMain.h"

namespace browsertests {

// Connect: the tree holds the domain's root alone, and the list its children as the server has
// them, each one a node of the root.
inline void verifyConnectListsTheRoot(
    frmMain& window, const MessageRecorder& recorder, const QString& domain, const QString& baseDn)
{
    click(window.cmdConnect);

    QVERIFY2(recorder.boxes.isEmpty(), qPrintable(recorder.boxes.value(0).text));
    QVERIFY(!window.cmdConnect->isEnabled());
    QCOMPARE(rowCount(window.tvNode), 1);
    const QPersistentModelIndex root = topNode(window.tvNode, 0);
    QCOMPARE(text(root), domain);
    QCOMPARE(keyOf(root), directory::dn::rootPath(domain));
    const QList<Row> rows = listRows(window.lvList);
    QCOMPARE(rows, rowsFor(serverChildren(baseDn)));
    QCOMPARE(childKeys(root), tagsOf(rows));
}

} // namespace browsertests
