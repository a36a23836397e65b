// A test program with windows that reaches the emulated cables through its
// own libusb: it runs itself again under umockdev's preload first.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>

#include "usbtestbed/UsbTestbed.h"

int main(int argc, char** argv)
{
    if (!CUsbTestbed::ReexecUnderPreload(argv)) {
        std::fprintf(stderr, "cannot run under umockdev's preload (libumockdev-preload.so.0)\n");
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
