#include "shell/ui/Controls.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QKeyEvent>

#include "shell/ui/Twips.h"

namespace keldara::shell {

namespace {

class KeySwallower : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        return event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease ||
               event->type() == QEvent::ShortcutOverride || event->type() == QEvent::InputMethod;
    }
};

// In the open drop-down list every key but Escape is swallowed: arrows and Enter would pick
// an entry, Escape only closes the list.
class OpenListKeySwallower : public KeySwallower {
  public:
    using KeySwallower::KeySwallower;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool escape =
            (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
        return !escape && KeySwallower::eventFilter(watched, event);
    }
};

template <typename W>
W* named(W* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

}  // namespace

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, double left,
                  double top, double width, double height) {
    auto* label = named(new QLabel(caption, parent), name);
    placeTw(label, left, top, width, height);
    return label;
}

QLineEdit* makeTextBox(QWidget* parent, const QString& name, double left, double top, double width,
                       double height) {
    auto* box = named(new QLineEdit(parent), name);
    placeTw(box, left, top, width, height);
    return box;
}

QComboBox* makeComboBox(QWidget* parent, const QString& name, double left, double top, double width,
                        double height) {
    auto* combo = named(new QComboBox(parent), name);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->lineEdit()->setObjectName(name + QStringLiteral("_edit"));
    placeTw(combo, left, top, width, height);
    return combo;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, double left,
                        double top, double width, double height) {
    auto* button = named(new QPushButton(caption, parent), name);
    button->setAutoDefault(false);
    placeTw(button, left, top, width, height);
    return button;
}

QCheckBox* makeCheckBox(QWidget* parent, const QString& name, const QString& caption, double left,
                        double top, double width, double height) {
    auto* box = named(new QCheckBox(caption, parent), name);
    placeTw(box, left, top, width, height);
    return box;
}

QGroupBox* makeFrame(QWidget* parent, const QString& name, double left, double top, double width,
                     double height) {
    auto* frame = named(new QGroupBox(parent), name);
    placeTw(frame, left, top, width, height);
    return frame;
}

CaptionedGrid* makeDataGrid(QWidget* parent, const QString& name) {
    auto* grid = named(new CaptionedGrid(parent), name);
    grid->captionBar()->setObjectName(name + QStringLiteral("_caption"));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    return grid;
}

CountsFrame makeCountsFrame(QWidget* parent, const QString& side, double left) {
    CountsFrame counts{makeFrame(parent, "fra" + side, left, 0, 2150, 960), {}};
    const QString captions[] = {"Record Count:", "Fields Count:"};
    for (int i = 0; i < 2; ++i) {
        const double top = 240 + 360 * i;
        makeLabel(counts.frame, QStringLiteral("lbl%1Info_%2").arg(side).arg(i), captions[i], 60,
                  top, 1250);
        counts.values[i] =
            makeLabel(counts.frame, QStringLiteral("lbl%1InfoData_%2").arg(side).arg(i), "Info",
                      1310, top, 820);
    }
    counts.frame->setEnabled(false);
    return counts;
}

void suppressKeys(QComboBox* combo) {
    auto* swallower = new KeySwallower(combo);
    combo->installEventFilter(swallower);
    if (combo->lineEdit()) combo->lineEdit()->installEventFilter(swallower);
    // Installed after the list's own filter, so it sees the keys first.
    combo->view()->installEventFilter(new OpenListKeySwallower(combo));
}

}  // namespace keldara::shell
