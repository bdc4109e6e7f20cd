// Opens a generated CSV file of a million records in the real window (offscreen), which
// chooses its one table, and times it until the source grid has painted the table, against
// the load alone through the provider. Then
// scrolls the grid from top to bottom and counts the records the grid read to paint: a grid
// that reads only what it shows reads a few hundred of the million.
// Usage: keldara_window_bench [--quick]
#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

#include "Bench.h"
#include "Data.h"
#include "platform/dao/Connection.h"
#include "platform/dao/Recordset.h"
#include "platform/doubles/PlatformDoubles.h"
#include "window/ui/MainWindow.h"

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

std::unique_ptr<dao::Recordset> loadAlone(const QString& csv) {
    auto connection = dao::openConnection(textConnectionString(csv));
    return connection->openRecordset(
        QStringLiteral("SELECT * FROM [%1]").arg(QFileInfo(csv).fileName()));
}

template <typename T>
T* control(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (!found) throw std::runtime_error(std::string("no control ") + name);
    return found;
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

    platform::PlatformDoubles doubles;
    shell::MainWindow window(doubles.platform());
    window.show();
    QApplication::processEvents();
    auto* grid = control<QTableView>(window, "grdSourceData");
    auto* delegate = new CountingDelegate(grid);
    grid->setItemDelegate(delegate);
    auto open = [&] {
        control<QLineEdit>(window, "txtSourceFileName")->setText(csv);
        control<QPushButton>(window, "cmdSourceConnect")->click();
        showGrid(grid);
    };

    // The rounds of both alternate, so that both meet the same load of a shared machine; the
    // difference is small beside that load's noise, so there are at least five of them. The
    // window frees the table it showed before it loads the next one; so does the load alone.
    std::vector<double> alone, chosen;
    std::unique_ptr<dao::Recordset> loaded = loadAlone(csv);
    const int roundCount = quick ? rounds() : std::max(rounds(), 5);
    for (int round = 0; round < roundCount; ++round) {
        alone.push_back(seconds([&] {
            loaded.reset();
            loaded = loadAlone(csv);
        }));
        if (loaded->recordCount() != records) throw std::runtime_error("the load missed records");
        chosen.push_back(seconds(open));
        if (grid->model()->rowCount() != records || delegate->rows.empty())
            throw std::runtime_error("the grid does not show the table");
        control<QPushButton>(window, "cmdSourceClose")->click();
    }
    loaded.reset();
    const QString name = QStringLiteral("window, choosing a %1-record table").arg(records);
    report({name, QStringLiteral("time s"), median(chosen), QStringLiteral("the load alone"),
            median(alone), 1.10});

    open();
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
