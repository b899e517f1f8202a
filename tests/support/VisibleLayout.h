#pragma once

// A window's layout as a person sees it: every control shown lies whole inside the window, none
// over another, each label beside or above its field, and no caption is cut.

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QTreeView>

namespace visiblelayout {

// The layout's controls that are shown: named ones, not Qt's own parts of them.
inline QList<const QWidget*> shown(const QWidget* window)
{
    QList<const QWidget*> controls;
    for (const QWidget* widget : window->findChildren<QWidget*>())
        if (widget->isVisibleTo(window) && !widget->objectName().isEmpty() && !widget->objectName().startsWith(u"qt_"))
            controls << widget;
    return controls;
}

// What of a control is seen, in the window: of a label its text where it is drawn, not its box.
inline QRect seen(const QWidget* control, const QWidget* window)
{
    QRect area = control->rect();
    if (const auto* label = qobject_cast<const QLabel*>(control); label && label->pixmap().isNull()) {
        const QSize text(label->fontMetrics().horizontalAdvance(label->text()), label->fontMetrics().height());
        area = label->text().isEmpty()
            ? QRect()
            : QStyle::alignedRect(label->layoutDirection(), label->alignment(), text, label->contentsRect());
    }
    return area.isEmpty() ? QRect() : area.translated(control->mapTo(window, QPoint()));
}

// "beside" (left of its field, on its row) or "above" (over it); empty when the label is neither,
// or when another control sits between them.
inline QString placeOf(const QLabel* label, const QWidget* window)
{
    const QRect text = seen(label, window);
    const QRect field = seen(label->buddy(), window);
    const bool beside
        = text.right() < field.left() && qBound(field.top(), text.center().y(), field.bottom()) == text.center().y();
    const bool above = text.bottom() < field.top() && text.left() <= field.right() && text.right() >= field.left();
    const QRect between = beside ? QRect(QPoint(text.right() + 1, text.top()), QPoint(field.left() - 1, text.bottom()))
                                 : QRect(QPoint(text.left(), text.bottom() + 1), QPoint(text.right(), field.top() - 1));
    for (const QWidget* other : shown(window))
        if (other != label && other != label->buddy() && !other->isAncestorOf(label)
            && seen(other, window).intersects(between))
            return {};
    return beside ? QStringLiteral("beside") : above ? QStringLiteral("above") : QString();
}

// The captions of a control (a label, a button, tabs, column headings) that do not fit where they are drawn.
inline QStringList cutCaptions(const QWidget* control)
{
    QStringList cut;
    const auto check = [&cut, metrics = control->fontMetrics()](const QString& text, const QRect& area) {
        if (metrics.horizontalAdvance(text) > area.width() || metrics.height() > area.height())
            cut << text;
    };
    if (const auto* label = qobject_cast<const QLabel*>(control); label && !label->text().isEmpty())
        check(label->text(), label->contentsRect());
    if (const auto* button = qobject_cast<const QPushButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        check(button->text(), button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button));
    }
    if (const auto* tabs = qobject_cast<const QTabWidget*>(control))
        for (int i = 0; i < tabs->count(); ++i)
            check(tabs->tabText(i), tabs->tabBar()->tabRect(i) & tabs->tabBar()->rect());
    if (const auto* view = qobject_cast<const QTreeView*>(control); view && !view->isHeaderHidden()) {
        const QHeaderView* header = view->header();
        const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        for (int i = 0; i < header->count(); ++i)
            check(view->model()->headerData(i, Qt::Horizontal).toString(),
                QRect(0, 0, header->sectionSize(i), header->height()).adjusted(margin, 0, -margin, 0));
    }
    return cut;
}

// What a person would see wrong, one line each; empty when nothing is.
inline QString problems(const QWidget* window)
{
    QStringList found;
    const QList<const QWidget*> controls = shown(window);
    for (qsizetype i = 0; i < controls.size(); ++i) {
        const QWidget* control = controls[i];
        const QString name = control->objectName() + u' ';
        if (!window->rect().contains(QRect(control->mapTo(window, QPoint()), control->size())))
            found << name + QStringLiteral("is not inside the window");
        for (const QWidget* other : controls.sliced(i + 1))
            if (other->parentWidget() == control->parentWidget()
                && seen(control, window).intersects(seen(other, window)))
                found << name + QStringLiteral("overlaps ") + other->objectName();
        const auto* label = qobject_cast<const QLabel*>(control);
        if (label && label->buddy() && label->buddy()->isVisibleTo(window) && placeOf(label, window).isEmpty())
            found << name + QStringLiteral("is neither beside nor above ") + label->buddy()->objectName();
        for (const QString& caption : cutCaptions(control))
            found << name + QStringLiteral("cuts its caption ") + caption;
    }
    return found.join(u'\n');
}

} // namespace visiblelayout
