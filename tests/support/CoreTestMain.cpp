// The main of the test programs of the engine and its links: Qt Core alone, so that nothing
// they test can reach for the window's libraries.
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
