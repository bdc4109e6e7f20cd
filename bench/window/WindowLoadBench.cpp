// Chooses a generated table of a million records in the real window (offscreen) and times it
// until the source grid has painted it, against the load alone through the provider. Then
// scrolls the grid from top to bottom and counts the records the grid read to paint: a grid
// that reads only what it shows reads a few hundred of the million.
// Usage: keldara_window_bench [--quick]
#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>
#include <set>
#include <stdexcept>

#include "Bench.h"
#include "Data.h"
#include "platform/dao/Connection.h"
#include "platform/dao/Recordset.h"
#include "platform/doubles/PlatformDoubles.h"
#include "shell/window/ui/MainWindow.h"

namespace {

using namespace keldara;
using namespace keldara::bench;

// Paints as the grid's own delegate does and remembers which records it painted.
class CountingDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        rows.insert(index.row());
        QStyledItemDelegate::paint(painter, option, index);
    }
    mutable std::set<int> rows;
};

long loadAlone(const QString& csv) {
    auto connection = dao::openConnection(textConnectionString(csv));
    auto records = connection->openRecordset(
        QStringLiteral("SELECT * FROM [%1]").arg(QFileInfo(csv).fileName()));
    return records->recordCount();
}

template <typename T>
T* control(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (!found) throw std::runtime_error(std::string("no control ") + name);
    return found;
}

void choose(QComboBox* tables, const QString& prefix) {
    for (int i = 0; i < tables->count(); ++i) {
        if (!tables->itemText(i).startsWith(prefix)) continue;
        tables->setCurrentIndex(i);
        emit tables->activated(i);
        return;
    }
    throw std::runtime_error("no table " + prefix.toStdString());
}

// Shows the window's grid as the screen would: laid out, painted, events done.
void showGrid(QTableView* grid) {
    QApplication::processEvents();
    grid->viewport()->repaint();
}

int benchmark(bool quick) {
    const int records = quick ? 100000 : 1000000;
    QTemporaryDir dir(dataFolderPattern(QStringLiteral("window")));
    if (!dir.isValid()) throw std::runtime_error("cannot make a data folder");
    const QString csv = dir.filePath(QStringLiteral("orders.csv"));
    writeOrdersCsv(csv, records);
    writeOrdersCsv(dir.filePath(QStringLiteral("few.csv")), 10);

    long loaded = 0;
    const double alone = medianSeconds([&] { loaded = loadAlone(csv); });
    if (loaded != records) throw std::runtime_error("the load missed records");

    platform::PlatformDoubles doubles;
    shell::MainWindow window(doubles.platform());
    window.show();
    QApplication::processEvents();
    auto* grid = control<QTableView>(window, "grdSourceData");
    auto* delegate = new CountingDelegate(grid);
    grid->setItemDelegate(delegate);
    control<QLineEdit>(window, "txtSourceFileName")->setText(csv);
    control<QPushButton>(window, "cmdSourceConnect")->click();
    auto* tables = control<QComboBox>(window, "cboSourceTable");

    const double chosen = medianSeconds([&] {
        choose(tables, QStringLiteral("orders"));
        showGrid(grid);
        if (grid->model()->rowCount() != records || delegate->rows.empty())
            throw std::runtime_error("the grid does not show the table");
        choose(tables, QStringLiteral("few"));  // the next round chooses the large one anew
    });
    const QString name = QStringLiteral("window, choosing a %1-record table").arg(records);
    report({name, QStringLiteral("time s"), chosen, QStringLiteral("the load alone"), alone, 1.10});

    choose(tables, QStringLiteral("orders"));
    showGrid(grid);
    delegate->rows.clear();
    QScrollBar* bar = grid->verticalScrollBar();
    for (int step = 0; step <= 20; ++step) {
        bar->setValue(bar->maximum() / 20 * step);
        showGrid(grid);
    }
    bar->setValue(bar->maximum());
    showGrid(grid);
    report({QStringLiteral("window, scrolling the grid top to bottom"),
            QStringLiteral("records read"), static_cast<double>(delegate->rows.size()),
            QStringLiteral("records in the table"), static_cast<double>(records), 0.01});
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    try {
        return benchmark(app.arguments().contains(QStringLiteral("--quick")));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "keldara_window_bench: %s\n", error.what());
        return 1;
    }
}
