#pragma once

#include "DirectoryScope.h"
#include "InMemoryDirectory.h"
#include "MessageRecorder.h"
#include "details/frmDet.h"
#include "directory/Directory.h"
#include "directory/DirectoryError.h"
#include "platform/MessageBox.h"
#include "platform/mdlMain.h"

#include <QList>
#include <QStringList>
#include <QTest>
#include <memory>

// Keeps strObjectPath as it was before the test.
class ObjectPathScope {
public:
    explicit ObjectPathScope(const QString& path)
        : previous_(std::exchange(mdlMain::strObjectPath, path))
    { }
    ~ObjectPathScope() { mdlMain::strObjectPath = previous_; }
    Q_DISABLE_COPY_MOVE(ObjectPathScope)

private:
    QString previous_;
};

QStringList entriesOf(const QListWidget* list);

// The seven text boxes, in the order the window lists them.
QStringList textBoxesOf(const frmDet& det);

bool everyFieldEmpty(const frmDet& det);

// A fresh window whose load step has run on `dn`.
std::unique_ptr<frmDet> openOn(const QString& dn);

// The one warning of a class that has no tab, over a window that shows nothing. The caller
// checks QTest::currentTestFailed() before it looks at the box again.
void verifyNoDetailsScreen(const QList<Box>& boxes, const frmDet& det);

// The one error box of a read that met an entry it may not see. The caller checks
// QTest::currentTestFailed() before it looks at the box again.
void verifyHiddenEntryBox(const QList<Box>& boxes);

// A group that opens on its tab with no box, listing `members` and `memberships` as stored,
// and the same again after a refresh.
void verifyGroupLists(const QString& dn, const QStringList& members, const QStringList& memberships);

// The end of every case that opened a details window: no path left for the next one, and no
// hourglass left up.
void verifyDetailsCaseEnded();
