// The one QApplication of a widget test program, created before the first test and destroyed
// after the last, while Qt's own globals still exist. Link lumatrace_qt_test_app to get it.
#include <QApplication>

#include <gtest/gtest.h>

namespace {

class QtApplicationEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { app_ = new QApplication(argc_, argv_); }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

  private:
    int argc_ = 1;
    char name_[16] = "lumatrace-test";
    char* argv_[2] = {name_, nullptr};
    QApplication* app_ = nullptr;
};

const ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
