// The translation of line settings to terminal settings and back, for the values a
// pseudo-terminal cannot hold (it always keeps 8 data bits without parity).
#include "platform/ErrorCodes.h"
#include "platform/TermiosMap.h"

#include <gtest/gtest.h>

namespace {
SerialLineState RoundTrip(const SerialLineState& state)
{
    termios tio{};
    MakeDefaultTermios(&tio);
    EXPECT_EQ(LineStateToTermios(state, &tio), ERROR_SUCCESS);
    SerialLineState back;
    TermiosToLineState(tio, &back);
    return back;
}
} // namespace

TEST(TermiosMap, EveryParityAndStopBitSettingSurvivesTheRoundTrip)
{
    for (BYTE parity : {NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY}) {
        SerialLineState state;
        state.ByteSize = 7;
        state.Parity = parity;
        state.fParity = parity != NOPARITY;
        state.StopBits = TWOSTOPBITS;
        const SerialLineState back = RoundTrip(state);
        EXPECT_EQ(back.Parity, parity);
        EXPECT_EQ(back.fParity, parity != NOPARITY);
        EXPECT_EQ(back.ByteSize, 7);
        EXPECT_EQ(back.StopBits, TWOSTOPBITS);
    }
    SerialLineState five;
    five.ByteSize = 5;
    five.StopBits = ONE5STOPBITS;
    EXPECT_EQ(RoundTrip(five).StopBits, ONE5STOPBITS);
}

TEST(TermiosMap, ValuesTheLineCannotTakeAreRefused)
{
    termios tio{};
    MakeDefaultTermios(&tio);
    const termios before = tio;
    SerialLineState state;
    state.BaudRate = 12345;
    EXPECT_EQ(LineStateToTermios(state, &tio), ERROR_INVALID_PARAMETER);
    state = SerialLineState{};
    state.ByteSize = 9;
    EXPECT_EQ(LineStateToTermios(state, &tio), ERROR_INVALID_PARAMETER);
    state = SerialLineState{};
    state.Parity = 5;
    EXPECT_EQ(LineStateToTermios(state, &tio), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(tio.c_cflag, before.c_cflag);
}

TEST(TermiosMap, HardwareFlowIsRtsCtsAndTheDefaultIsRaw9600)
{
    SerialLineState state;
    state.fOutxCtsFlow = true;
    state.fRtsControl = RTS_CONTROL_HANDSHAKE;
    const SerialLineState back = RoundTrip(state);
    EXPECT_TRUE(back.fOutxCtsFlow);
    EXPECT_EQ(back.fRtsControl, RTS_CONTROL_HANDSHAKE);

    termios tio{};
    tio.c_lflag = ICANON | ECHO;
    tio.c_iflag = IXON | ICRNL;
    MakeDefaultTermios(&tio);
    EXPECT_EQ(cfgetospeed(&tio), speed_t{B9600});
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | ICRNL), 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
}
