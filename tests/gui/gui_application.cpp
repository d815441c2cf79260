// The window's tests run in a QApplication.

#include "test_registry.h"

#include <QApplication>

namespace {

[[maybe_unused]] const bool kWidgets = [] {
    vx37::testing::applicationFactory() = [](int& argc, char** argv) {
        return std::unique_ptr<QCoreApplication>(std::make_unique<QApplication>(argc, argv));
    };
    return true;
}();

} // namespace
