// A CUsbCable over the simulated D2XX library, with a recording owner and the test's own hold on
// the simulated cable; the paths of the simulated libraries come from the build.
#pragma once

#include "SimCableClient.h"
#include "UsbTestOwner.h"
#include "link/UsbCable.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

class UsbCableFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        CUsbCable::SetDriverLibraryName(KX_SIM_FTD2XX);
        ASSERT_TRUE(m_sim.IsLoaded());
        m_sim.Reset();
        m_sim.SetMode("loop");
        // A first thread makes the runtime start its own helpers (a sanitizer's, for one)
        // before the count is taken.
        std::thread([] {}).join();
        m_nBaselineThreads = ThreadCount();
        m_pCable = std::make_unique<CUsbCable>(m_owner);
        m_owner.Attach(m_pCable.get());
    }

    void TearDown() override
    {
        m_pCable.reset();
        m_owner.Attach(nullptr);
        CUsbCable::SetDriverLibraryName("libftd2xx.so");
    }

    // Opens the cable and starts its reader, as the main dialog does.
    void Connect()
    {
        ASSERT_EQ(0, m_pCable->Open(false));
        m_owner.m_bUsbActive = true;
        m_pCable->StartReader();
    }

    CTestUsbOwner m_owner;
    CSimCableClient m_sim{KX_SIM_FTD2XX};
    std::unique_ptr<CUsbCable> m_pCable;
    int m_nBaselineThreads = 0;
};
