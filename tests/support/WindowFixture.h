#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <memory>

#include "platform/doubles/PlatformDoubles.h"
#include "shell/window/ui/MainWindow.h"

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
    shell::Workspace& ws() { return window->workspace(); }

    platform::PlatformDoubles doubles;
    std::unique_ptr<shell::MainWindow> window;
};

}  // namespace keldara::test
