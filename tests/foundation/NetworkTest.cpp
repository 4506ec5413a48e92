// Network messages: everything answers "not started" as the program never starts networking; with a
// started state over a loopback connection, the packet framing of receive and send, and deferred
// notifications.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "foundation/VtNetwork.h"
#include "foundation/VtWinAPI.h"

using namespace Vantrel;

TEST(NetworkTest, NothingStartedAnswersAtOnce)
{
    memset((void*)&NetworkState, 0, sizeof(NetworkState));
    EXPECT_EQ(-1, AcceptNetWork());
    EXPECT_EQ(-1, RecvSocket(Handle_MakeValue(HandleType_Network, 1, 0)));
    EXPECT_EQ(-1, SendSocket(-1));
    EXPECT_EQ(0, Network_ProcessMessages(0));
    EXPECT_EQ(0, Network_ProcessMessages(1));
    EXPECT_EQ(0, Network_Terminate());
    // A notification that no network handle owns (message 1285 from another process).
    EXPECT_EQ(0, Network_OnSocketMessage(nullptr, Network_SocketMessage, 1234, FD_READ));
    EXPECT_EQ(-1, Network_Log(L"%d", 5));
}

namespace {

int ReleaseQueues(HandleHeader* header)
{
    NetworkHandleRecord* record = (NetworkHandleRecord*)header;
    RingBuffer_Terminate(&record->RecvQueue);
    RingBuffer_Terminate(&record->SendQueue);
    return 0;
}

// Networking as a start-up would leave it: the handle type, one accepted loopback connection
// (non-blocking, as notifications make it), no network window.
class NetworkLoopbackTest : public ::testing::Test {
protected:
    SOCKET listener = INVALID_SOCKET, peer = INVALID_SOCKET, accepted = INVALID_SOCKET;
    HandleValue handle = -1;
    NetworkHandleRecord* record = nullptr;

    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(0, bind(listener, (sockaddr*)&address, sizeof(address)));
        ASSERT_EQ(0, listen(listener, 1));
        int length = sizeof(address);
        getsockname(listener, (sockaddr*)&address, &length);
        peer = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        ASSERT_EQ(0, connect(peer, (sockaddr*)&address, sizeof(address)));
        accepted = accept(listener, nullptr, nullptr);
        ASSERT_NE(INVALID_SOCKET, accepted);
        u_long nonBlocking = 1;
        ioctlsocket(accepted, FIONBIO, &nonBlocking);

        ASSERT_EQ(0, Handle_Type_Setup(HandleType_Network, sizeof(NetworkHandleRecord), 64, nullptr, ReleaseQueues, nullptr, L"Network"));
        handle = Handle_New(HandleType_Network, 0, -1);
        record = (NetworkHandleRecord*)Handle_GetRecord(handle);
        record->Valid = 1;
        record->Connected = 1;
        record->PacketMode = 1;
        record->AutoDelete = 1;
        record->Socket = accepted;
        RingBuffer_Initialize(&record->RecvQueue);
        RingBuffer_Initialize(&record->SendQueue);
        NetworkState.Initialized = 1;
    }
    void TearDown() override
    {
        EXPECT_EQ(0, Network_Terminate());    // shuts the type down and zeroes the state
        EXPECT_EQ(0, NetworkState.Initialized);
        EXPECT_EQ(0, HandleManagerTable[HandleType_Network].Initialized);
        closesocket(accepted);
        closesocket(peer);
        closesocket(listener);
        WSACleanup();
    }
    // Lets the loopback deliver what the peer sent.
    void Settle() { Sleep(30); }
};

}  // namespace

TEST_F(NetworkLoopbackTest, PacketArrivingInTwoBurstsCompletesOnce)
{
    ASSERT_EQ(6, send(peer, "\x05\x00\x00\x00" "ab", 6, 0));
    Settle();
    EXPECT_EQ(0, RecvSocket(handle));
    EXPECT_EQ(2, record->RecvQueue.Stored);
    EXPECT_EQ(3, record->RecvMissing);
    EXPECT_EQ(0, record->RecvCompleteBytes);

    ASSERT_EQ(3, send(peer, "cde", 3, 0));
    Settle();
    EXPECT_EQ(0, RecvSocket(handle));
    EXPECT_EQ(5, record->RecvQueue.Stored);
    EXPECT_EQ(5, record->RecvCompleteBytes);
    char out[5];
    ASSERT_EQ(0, RingBuffer_Get(&record->RecvQueue, out, 5, 0));
    EXPECT_EQ(0, memcmp(out, "abcde", 5));
}

TEST_F(NetworkLoopbackTest, NegativeLengthBreaksTheConnection)
{
    ASSERT_EQ(4, send(peer, "\xFF\xFF\xFF\xFF", 4, 0));
    Settle();
    EXPECT_EQ(-1, RecvSocket(handle));
    EXPECT_EQ(1, record->Error);
    EXPECT_EQ(-1, RecvSocket(handle));
    EXPECT_EQ(-1, SendSocket(handle));
}

TEST_F(NetworkLoopbackTest, TwoQueuedSendsGoOutAsOnePacket)
{
    for (const char* piece : {"hello", "world!"}) {
        const int32_t bytes = (int32_t)strlen(piece);
        ASSERT_EQ(0, RingBuffer_Reserve(&record->SendQueue, bytes));
        ASSERT_EQ(0, RingBuffer_Put(&record->SendQueue, piece, bytes));
    }
    EXPECT_EQ(0, SendSocket(handle));
    EXPECT_EQ(0, record->SendQueue.Stored);
    Settle();
    char in[32] = {};
    ASSERT_EQ(15, recv(peer, in, sizeof(in), 0));
    EXPECT_EQ(0, memcmp(in, "\x0B\x00\x00\x00" "helloworld!", 15));
}

TEST_F(NetworkLoopbackTest, NotificationsOfDeferredAndClosedHandles)
{
    ASSERT_EQ(6, send(peer, "\x01\x00\x00\x00" "zz", 6, 0));
    Settle();
    record->Deferred = 1;
    EXPECT_EQ(1, Network_OnSocketMessage(nullptr, Network_SocketMessage, accepted, FD_READ));
    EXPECT_EQ(1, record->ReadPending);
    EXPECT_EQ(0, record->RecvQueue.Stored);
    EXPECT_EQ(-1, RecvSocket(handle));

    record->Deferred = 0;
    EXPECT_EQ(1, Network_OnSocketMessage(nullptr, Network_SocketMessage, accepted, FD_READ));
    EXPECT_EQ(1, record->RecvCompleteBytes);
    record->CloseDeletion = 1;
    EXPECT_EQ(1, Network_OnSocketMessage(nullptr, Network_SocketMessage, accepted, FD_CLOSE));
    EXPECT_EQ(0, record->Connected);
    EXPECT_EQ(0, record->CloseDeletion);
    EXPECT_EQ(0, Network_OnSocketMessage(nullptr, Network_SocketMessage, accepted + 1, FD_READ));
}
