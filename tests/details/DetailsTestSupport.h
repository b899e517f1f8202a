#pragma once

#include "InMemoryDirectory.h"
#include "details/frmDet.h"
#include "directory/Directory.h"
#include "platform/MessageBox.h"
#include "probes/mdlMain.h"

#include <QApplication>
#include <QLineEdit>
#include <QList>
#include <QListWidget>
#include <QStringList>
#include <memory>

// One message box as the user would have seen it, with what was on screen when it came up.
struct RecordedBox {
    QString text;
    platform::MessageIcon icon;
    bool hourglass; // the wait pointer was showing
    bool detailsVisible; // a details window was already on screen
};

// Records every message box instead of showing it, for the life of the object.
class MessageRecorder {
public:
    MessageRecorder()
    {
        previous_ = platform::setMessageBoxHandler([this](const QString& text, platform::MessageIcon icon) {
            bool detailsVisible = false;
            for (QWidget* widget : QApplication::topLevelWidgets())
                detailsVisible = detailsVisible || (qobject_cast<frmDet*>(widget) && widget->isVisible());
            boxes.append({ text, icon, QApplication::overrideCursor() != nullptr, detailsVisible });
        });
    }
    ~MessageRecorder() { platform::setMessageBoxHandler(std::move(previous_)); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    QList<RecordedBox> boxes;

private:
    platform::MessageBoxHandler previous_;
};

// Puts an in-memory directory in place for the life of the object.
class InMemoryScope {
public:
    InMemoryScope()
    {
        auto owned = std::make_unique<InMemoryDirectory>();
        directory = owned.get();
        previous_ = directory::setCurrentDirectory(std::move(owned));
    }
    ~InMemoryScope() { directory::setCurrentDirectory(std::move(previous_)); }
    InMemoryScope(const InMemoryScope&) = delete;
    InMemoryScope& operator=(const InMemoryScope&) = delete;

    InMemoryDirectory* directory;

private:
    std::unique_ptr<directory::Directory> previous_;
};

// Keeps strObjectPath as it was before the test.
class ObjectPathScope {
public:
    explicit ObjectPathScope(const QString& path)
        : previous_(std::exchange(mdlMain::strObjectPath, path))
    { }
    ~ObjectPathScope() { mdlMain::strObjectPath = previous_; }
    ObjectPathScope(const ObjectPathScope&) = delete;
    ObjectPathScope& operator=(const ObjectPathScope&) = delete;

private:
    QString previous_;
};

inline QStringList entriesOf(const QListWidget* list)
{
    QStringList entries;
    for (int row = 0; row < list->count(); ++row)
        entries.append(list->item(row)->text());
    return entries;
}

// The seven text boxes, in the order the window lists them.
inline QStringList textBoxesOf(const frmDet& det)
{
    return { det.txtOuName->text(), det.txtCompName->text(), det.txtGrpName->text(), det.txtUsrName->text(),
        det.txtDisName->text(), det.txtLastName->text(), det.txtGivenName->text() };
}

inline bool everyFieldEmpty(const frmDet& det)
{
    for (const QString& text : textBoxesOf(det)) {
        if (!text.isEmpty())
            return false;
    }
    return det.lstGrpGroup->count() == 0 && det.lstGrpMember->count() == 0 && det.lstUsrGroup->count() == 0;
}
