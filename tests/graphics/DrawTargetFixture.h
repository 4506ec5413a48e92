// Shared by the draw-target and screen-mode tests: the library started without a device (nothing
// left allocated at its end), and filling rectangles of the current draw target through the clear.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include "../system/WindowTestSupport.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawTarget.h"

namespace DrawTargetTesting {

inline void SetBackground(int red, int green, int blue) {
    Vantrel::GraphicsScreenState.BackgroundColor[0] = red;
    Vantrel::GraphicsScreenState.BackgroundColor[1] = green;
    Vantrel::GraphicsScreenState.BackgroundColor[2] = blue;
}

// Fills a rectangle of the current draw target with a colour.
inline int Fill(int left, int top, int right, int bottom, int red, int green, int blue) {
    SetBackground(red, green, blue);
    const RECT rect = {left, top, right, bottom};
    return Vantrel::ClearDrawTarget(&rect);
}

class NoDeviceTest : public WindowTest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ(Vantrel::SetHardwareGraphicsEnable(0), 0);
        ASSERT_EQ(Vantrel::InitializeLibrary(), 0);
        ASSERT_EQ(Vantrel::GraphicsSystemState.DeviceValid, 0);
    }
    void TearDown() override {
        SetBackground(0, 0, 0);
        LibraryTest::TearDown();
        Vantrel::SetHardwareGraphicsEnable(1);
        EXPECT_EQ(Vantrel::MemoryState.AllocBlockCount, 0);
    }
};

}  // namespace DrawTargetTesting
