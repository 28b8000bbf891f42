// End-to-end tests over the USB cable: the downloader loads the simulated libftd2xx.so, and
// the test steers the simulated cable through its own handle on the same library.
#pragma once

#include "E2eFixture.h"
#include "SimCableClient.h"

#include <memory>

class UsbFixture : public E2eFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<CSimCableClient> m_cable;
};
