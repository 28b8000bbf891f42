// Reading what the cable received (OnCableData): chunk sizes, the text filter, the dispatch to
// the owner, and the event status that decides whether anything is read.
#include "UsbCableFixture.h"

namespace {

using Texts = std::vector<std::string>;

class UsbCableReceive : public UsbCableFixture {
protected:
    void SetUp() override
    {
        UsbCableFixture::SetUp();
        ASSERT_EQ(0, m_pCable->Open(true));
    }
};

TEST_F(UsbCableReceive, NonPrintableBytesArriveAsQuestionMarksAndWhiteSpaceIsKept)
{
    m_sim.InjectRx(std::string("\x00\x07\x7F\xE9", 4) + "\t\n\r\v\f" + "ok ~\x1F\x80\xFF");
    m_pCable->OnCableData();
    EXPECT_EQ(Texts{"????\t\n\r\v\fok ~???"}, m_owner.m_chunks);
}

TEST_F(UsbCableReceive, EchoModeSendsTextToTheEchoTestAndDropModeReadsItAndThrowsItAway)
{
    m_owner.m_bEchoMode = true;
    m_sim.InjectRx("Echo");
    m_pCable->OnCableData();
    EXPECT_EQ(Texts{"Echo"}, m_owner.m_echoChunks);

    m_owner.m_bDropReceived = true;
    m_sim.InjectRx("dropped");
    m_pCable->OnCableData();
    EXPECT_EQ(0u, m_sim.RxPending());
    EXPECT_EQ(1u, m_owner.m_echoChunks.size());
    EXPECT_TRUE(m_owner.m_chunks.empty());
}

// A full chunk of 200 leads to a further look in the same notification, a shorter one does
// not; no read ever asks for bytes that have not arrived.
TEST_F(UsbCableReceive, AFullChunkIsFollowedByAnotherReadAndAShortOneIsNot)
{
    m_sim.InjectRx(std::string(199, 'a'));
    m_pCable->OnCableData();
    EXPECT_EQ(Texts{std::string(199, 'a')}, m_owner.m_chunks);
    EXPECT_EQ(1u, m_sim.Counter("statusQueries"));

    m_owner.m_chunks.clear();
    m_sim.InjectRx(std::string(200, 'b'));
    m_pCable->OnCableData();
    EXPECT_EQ(Texts{std::string(200, 'b')}, m_owner.m_chunks);
    EXPECT_EQ(3u, m_sim.Counter("statusQueries"));

    m_owner.m_chunks.clear();
    m_sim.InjectRx(std::string(450, 'c'));
    m_pCable->OnCableData();
    EXPECT_EQ((Texts{std::string(200, 'c'), std::string(200, 'c'), std::string(50, 'c')}),
              m_owner.m_chunks);
    EXPECT_EQ(0u, m_sim.Counter("readWaits"));
}

// Bytes that arrive while a full chunk is being handled are read in the same notification.
TEST_F(UsbCableReceive, BytesArrivingDuringAFullChunkAreReadInTheSameNotification)
{
    m_owner.m_onReceived = [this](const std::string& text) {
        if (text.size() == 200)
            m_sim.InjectRx("late");
    };
    m_sim.InjectRx(std::string(200, 'd'));
    m_pCable->OnCableData();
    EXPECT_EQ((Texts{std::string(200, 'd'), "late"}), m_owner.m_chunks);
}

TEST_F(UsbCableReceive, ModemStatusEventReadsNothingUntilTheNextNotification)
{
    m_sim.InjectRx("abc");
    m_sim.RaiseModemStatus();
    m_pCable->OnCableData();
    EXPECT_TRUE(m_owner.m_chunks.empty());
    EXPECT_EQ(3u, m_sim.RxPending());

    m_pCable->OnCableData();
    EXPECT_EQ(Texts{"abc"}, m_owner.m_chunks);
}

TEST_F(UsbCableReceive, NothingIsReadWhenNothingArrivedOrTheDeviceIsClosed)
{
    m_pCable->OnCableData();
    EXPECT_EQ(0u, m_sim.Counter("reads"));

    m_sim.InjectRx("xyz");
    m_pCable->CloseDevice();
    m_pCable->OnCableData();
    EXPECT_TRUE(m_owner.m_chunks.empty());
}

} // namespace
