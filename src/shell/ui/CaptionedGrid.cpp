#include "shell/ui/CaptionedGrid.h"

#include <QAbstractButton>
#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>

namespace keldara::shell {

CaptionedGrid::CaptionedGrid(QWidget* parent) : QTableView(parent) {
    captionBar_ = new QLabel(this);
    captionBar_->setAutoFillBackground(true);
    captionBar_->setBackgroundRole(QPalette::Dark);
    captionBar_->setForegroundRole(QPalette::BrightText);
    captionBar_->setIndent(4);
    captionBar_->hide();
    // A change of either range lays the scroll bars out again, after these calls.
    for (QScrollBar* bar : {verticalScrollBar(), horizontalScrollBar()}) {
        connect(bar, &QScrollBar::rangeChanged, this, &CaptionedGrid::placeScrollBarBelowCaption,
                Qt::QueuedConnection);
    }
}

void CaptionedGrid::setCaption(const QString& caption) {
    captionBar_->setText(caption);
    captionBar_->setVisible(!caption.isEmpty());
    updateGeometries();
}

int CaptionedGrid::captionHeight() const {
    return captionBar_->text().isEmpty() ? 0 : fontMetrics().height() + 6;
}

// The table view lays out its headers around the viewport; the caption bar takes a strip
// above all of them.
void CaptionedGrid::updateGeometries() {
    QTableView::updateGeometries();
    const int bar = captionHeight();
    const int left = verticalHeader()->isHidden() ? 0 : verticalHeader()->width();
    const int top = horizontalHeader()->isHidden() ? 0 : horizontalHeader()->height();
    setViewportMargins(left, top + bar, 0, 0);
    const QRect view = viewport()->geometry();
    if (!horizontalHeader()->isHidden()) {
        horizontalHeader()->setGeometry(view.left(), view.top() - top, view.width(), top);
    }
    if (!verticalHeader()->isHidden()) {
        verticalHeader()->setGeometry(view.left() - left, view.top(), left, view.height());
    }
    if (auto* corner = findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly)) {
        corner->setGeometry(view.left() - left, view.top() - top, left, top);
    }
    const QRect inner = contentsRect();
    captionBar_->setGeometry(inner.left(), inner.top(), inner.width(), bar);
    placeScrollBarBelowCaption();
}

bool CaptionedGrid::event(QEvent* event) {
    const bool handled = QTableView::event(event);
    if (event->type() == QEvent::LayoutRequest) placeScrollBarBelowCaption();
    return handled;
}

// The scroll area runs its vertical scroll bar from the top of its contents; it starts below
// the caption bar instead.
void CaptionedGrid::placeScrollBarBelowCaption() {
    QWidget* container = verticalScrollBar()->parentWidget();

    if (!container || container == this || container == viewport()) return;
    const int top = contentsRect().top() + captionHeight();
    QRect area = container->geometry();
    if (area.top() == top || area.bottom() < top) return;
    area.setTop(top);
    container->setGeometry(area);
}

}  // namespace keldara::shell
