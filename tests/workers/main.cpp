#include <gtest/gtest.h>
#include <QGuiApplication>

#include "support/qt_test_env.h"

int main(int argc, char** argv) {
    torv::test::PrepareQtTestEnvironment();
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
