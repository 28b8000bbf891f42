#include "UsbFixture.h"

#include "link/UsbCableLink.h"

void UsbFixture::SetUp()
{
    E2eFixture::SetUp();
    CUsbCableLink::SetDriverLibraryName(KX_SIM_FTD2XX_PATH);
    m_cable = std::make_unique<CSimCableClient>(KX_SIM_FTD2XX_PATH);
    ASSERT_TRUE(m_cable->IsLoaded());
    m_cable->Reset();
    m_cable->SetMode("unit");
}

void UsbFixture::TearDown()
{
    E2eFixture::TearDown();
    m_cable.reset();
    CUsbCableLink::SetDriverLibraryName("libftd2xx.so");
}
