#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "platform/doubles/PlatformDoubles.h"
#include "window/ui/MainWindow.h"

namespace keldara::test {

// A real main window, shown offscreen, with test doubles for every platform facility.
class WindowFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<shell::MainWindow>(doubles.platform());
        window->show();
    }
    void TearDown() override { window.reset(); }

    template <typename T = QWidget>
    T* control(const char* name) const {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << "no control named " << name;
        return found;
    }
    QLineEdit* textBox(const char* name) const { return control<QLineEdit>(name); }
    QComboBox* combo(const char* name) const { return control<QComboBox>(name); }
    QPushButton* button(const char* name) const { return control<QPushButton>(name); }
    QString label(const char* name) const { return control<QLabel>(name)->text(); }
    shell::Workspace& ws() { return window->workspace(); }

    QStringList items(const char* comboName) const {
        QStringList names;
        for (int i = 0; i < combo(comboName)->count(); ++i) names << combo(comboName)->itemText(i);
        return names;
    }
    // Picks an entry from the drop-down list with the mouse, as a user does.
    void choose(const char* comboName, const QString& entry) {
        QComboBox* list = combo(comboName);
        ASSERT_TRUE(list->isEnabled()) << comboName << " is disabled";
        const int index = list->findText(entry, Qt::MatchExactly);
        ASSERT_GE(index, 0) << comboName << " has no entry " << entry.toStdString();
        list->showPopup();
        QAbstractItemView* view = list->view();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
        const QModelIndex item = view->model()->index(index, 0);
        view->scrollTo(item);
        // The popup ignores a release that follows its opening too closely.
        QTest::qWait(QApplication::doubleClickInterval() / 2 + 50);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
        ASSERT_FALSE(view->isVisible()) << "the drop-down list of " << comboName << " stayed open";
    }
    void clickButton(const char* name) {
        ASSERT_TRUE(button(name)->isEnabled()) << name << " is disabled";
        QTest::mouseClick(button(name), Qt::LeftButton);
    }

    platform::PlatformDoubles doubles;
    std::unique_ptr<shell::MainWindow> window;
};

}  // namespace keldara::test
