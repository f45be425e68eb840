#pragma once

#include <QApplication>

namespace lumatrace::testing {

// The application object of the test program, created before the first test
// and destroyed after the last, while Qt's own globals still exist.
inline QApplication& TestApp() {
    return *qobject_cast<QApplication*>(QCoreApplication::instance());
}

}  // namespace lumatrace::testing
