#include <gtest/gtest.h>

#include <QApplication>

#include "support/qt_test_env.h"

int main(int argc, char** argv) {
    torv::test::PrepareQtTestEnvironment();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
