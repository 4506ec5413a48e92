// VtNetwork: the message side of the library's TCP networking: accepting connections, receiving and
// sending through per-connection byte queues with length-prefixed packets, the socket notifications
// of the network window, and shutting networking down. Nothing in the program starts networking, so
// every operation answers as for networking not started. Stands on VtHandle, VtRingBuffer, VtWinAPI.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <stdint.h>

#include "foundation/VtHandle.h"
#include "foundation/VtRingBuffer.h"

namespace Vantrel {

// Window message that carries the socket notifications.
constexpr UINT Network_SocketMessage = 1285;

struct NetworkStateRecord {
    HandleValue ListenHandle;       // a handle of type 10
    int32_t Initialized;
    void* WorkBuffer[2];            // owned, freed at termination
    HWND Window;
    int32_t StreamMode;             // non-zero: new connections use no packet framing
    int32_t NoAutoDelete;           // non-zero: closed connections are not deleted automatically
    int32_t NoPump;                 // non-zero: termination does not drain the window's messages
    HANDLE Thread;
    volatile int32_t ThreadStopAck;
    volatile int32_t ThreadStopRequest;
};
extern NetworkStateRecord NetworkState;

// The record of a network handle (type 10).
struct NetworkHandleRecord {
    HandleHeader Header;
    int32_t Deferred;               // read and write notifications are only remembered
    int32_t Reserved0;
    int32_t Valid;
    int32_t IPv6;
    int32_t Error;
    int32_t Connecting;
    int32_t Connected;
    int32_t CloseDeletion;          // a disconnected handle is deleted automatically only while 1
    int32_t Reserved1[2];
    int32_t PacketMode;
    int32_t AutoDelete;
    SOCKET Socket;
    int32_t RecvMissing;            // bytes still missing of the packet being received
    RingBuffer RecvQueue;
    int32_t RecvPacketSize;
    int32_t RecvCompleteBytes;      // bytes of complete packets received
    RingBuffer SendQueue;
    int32_t SendRemaining;          // bytes still to send of the packet being sent
    int32_t SendPrefixRemaining;    // bytes of its length prefix still to send
    uint8_t AddressV4[4];
    uint16_t AddressV6[8];
    uint16_t Port;                  // in the byte order of the socket address
    int32_t ReadPending;
    int32_t WritePending;
};

int AcceptNetWork();
int RecvSocket(HandleValue networkHandle);
int SendSocket(HandleValue networkHandle);
int Network_ProcessMessages(int32_t mode);
int Network_Terminate();
int32_t Network_OnSocketMessage(HWND window, UINT message, WPARAM socket, LPARAM event);
int Network_Log(const wchar_t* format, ...);

}  // namespace Vantrel
