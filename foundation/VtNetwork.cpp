// VtNetwork: the message side of TCP networking: accept, packet receive and send over the byte queues
// (a 32-bit little-endian length, then the data), socket notifications and termination. All of it
// runs on the main thread under the lock of handle type 10. Stands on VtHandle, VtRingBuffer,
// VtASyncLoad, VtFormat, VtLog and the system function table.
#include "foundation/VtNetwork.h"

#include <cstdarg>
#include <cstring>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtFormat.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"

namespace Vantrel {

NetworkStateRecord NetworkState;

static int32_t Network_ReceiveInProgress;
static int32_t Network_SendInProgress;

static HandleManager* Network_Manager()
{
    HandleManager* manager = &HandleManagerTable[HandleType_Network];
    return manager->Initialized ? manager : nullptr;
}

static void Network_Lock()
{
    if (HandleManager* manager = Network_Manager()) CriticalSection_Enter(&manager->Lock, "VtNetwork", __LINE__);
}

static void Network_Unlock()
{
    if (HandleManager* manager = Network_Manager()) CriticalSection_Leave(&manager->Lock);
}

// The record of a valid network handle, after any load still working on it has finished.
static NetworkHandleRecord* Network_GetRecord(HandleValue handle)
{
    if (handle < 0 || Handle_TypeOf(handle) != HandleType_Network) return nullptr;
    HandleHeader* record = Handle_GetRecord(handle);
    if (record == nullptr) return nullptr;
    if (record->ASyncLoadCount != 0) {
        const int result = record->ASyncLoadCount == 1 && record->JobIndex >= 0 ? ASyncLoad_Entry_RunNow(record->JobIndex)
                                                                                : Handle_ASyncLoad_Wait(handle);
        if (result < 0) return nullptr;
        record = Handle_GetRecord(handle);
    }
    return (NetworkHandleRecord*)record;
}

static void Network_StoreLength(uint8_t* bytes, int32_t length)
{
    const uint32_t value = (uint32_t)length;
    bytes[0] = (uint8_t)value;
    bytes[1] = (uint8_t)(value >> 8);
    bytes[2] = (uint8_t)(value >> 16);
    bytes[3] = (uint8_t)(value >> 24);
}

int Network_Log(const wchar_t* format, ...)
{
    wchar_t text[512];
    va_list arguments;
    va_start(arguments, format);
    CharCode_FormatV(1200, 1, CharCode_GetNarrowPage(), CharCode_GetWidePage(), text, 512, format, arguments);
    va_end(arguments);
    WinAPI_EnsureLoaded();
    const int error = WinAPITable.WSAGetLastError != nullptr ? WinAPITable.WSAGetLastError() : 0;
    Log_AddFormatUTF16(L"ネットワークログ。%s[%d]", text, error);
    return -1;
}

// Removes and dispatches every pending message of the network window.
static void Network_DrainWindow()
{
    MSG message;
    while (WinAPITable.PeekMessageW(&message, NetworkState.Window, 0, 0, PM_REMOVE)) {
        WinAPITable.TranslateMessage(&message);
        WinAPITable.DispatchMessageW(&message);
    }
}

int Network_ProcessMessages(int32_t mode)
{
    WinAPI_EnsureLoaded();
    if (!NetworkState.Initialized || NetworkState.Window == nullptr) return 0;
    Network_Lock();
    HandleManager* manager = Network_Manager();
    if (mode == 1 && manager != nullptr) {
        HandleListNode* node = manager->LiveListStart.Next;
        while (node != &manager->LiveListEnd) {
            HandleListNode* following = node->Next;
            const NetworkHandleRecord* record = (const NetworkHandleRecord*)node->Record;
            if (record->Valid && (record->Error || (!record->Connected && record->CloseDeletion == 1 && record->AutoDelete)))
                Handle_Delete(node->Handle, 0, 0);
            node = following;
        }
    }
    Network_DrainWindow();
    Network_Unlock();
    return 0;
}

int AcceptNetWork()
{
    if (!NetworkState.Initialized) return -1;
    WinAPI_EnsureLoaded();
    Network_Lock();
    Network_ProcessMessages(0);

    NetworkHandleRecord* listener = Network_GetRecord(NetworkState.ListenHandle);
    if (listener == nullptr) {
        Network_Unlock();
        return -1;
    }
    const int32_t ipv6 = listener->IPv6;
    const SOCKET listenSocket = listener->Socket;
    const HandleValue handle = Handle_New(HandleType_Network, 0, -1);
    if (handle < 0) {
        Log_AddTextUTF16(L"accept 用のハンドル作成に失敗しました \n");
        Network_Unlock();
        return -1;
    }
    NetworkHandleRecord* record = (NetworkHandleRecord*)Handle_GetRecord(handle);
    record->Deferred = 0;
    record->Valid = 1;
    record->IPv6 = ipv6;
    record->Error = 0;
    record->Connecting = 0;
    record->Connected = 1;
    record->CloseDeletion = 0;
    record->PacketMode = NetworkState.StreamMode ? 0 : 1;
    record->AutoDelete = NetworkState.NoAutoDelete ? 0 : 1;
    if (record->PacketMode) {
        RingBuffer_Initialize(&record->RecvQueue);
        RingBuffer_Initialize(&record->SendQueue);
        record->RecvMissing = 0;
        record->RecvPacketSize = 0;
        record->RecvCompleteBytes = 0;
        record->SendRemaining = 0;
        record->SendPrefixRemaining = 0;
    }

    sockaddr_storage address;
    memset(&address, 0, sizeof(address));
    int addressBytes = ipv6 ? 28 : 16;
    const SOCKET accepted = WinAPITable.accept(listenSocket, (sockaddr*)&address, &addressBytes);
    if (accepted == INVALID_SOCKET) {
        Network_Log(L"acceptに失敗しました");
        Handle_Delete(handle, 0, 0);
        Network_Unlock();
        return -1;
    }
    record->Socket = accepted;
    if (ipv6) {
        const sockaddr_in6* peer = (const sockaddr_in6*)&address;
        memcpy(record->AddressV6, &peer->sin6_addr, 16);
        record->Port = peer->sin6_port;
    } else {
        const sockaddr_in* peer = (const sockaddr_in*)&address;
        memcpy(record->AddressV4, &peer->sin_addr, 4);
        record->Port = peer->sin_port;
    }
    if (WinAPITable.WSAAsyncSelect(accepted, NetworkState.Window, Network_SocketMessage, FD_READ | FD_WRITE | FD_CLOSE) == SOCKET_ERROR) {
        Network_Log(L"WSAAsyncSelectのエラー in AcceptNetWork");
        Handle_Delete(handle, 0, 0);
        Network_Unlock();
        return -1;
    }
    Network_Unlock();
    return 1;
}

// Receives complete and partial packets into the receive queue; the caller holds the lock.
static int Network_ReceivePackets(HandleValue handle)
{
    for (;;) {
        NetworkHandleRecord* record = (NetworkHandleRecord*)Handle_GetRecord(handle);
        if (record == nullptr) return -1;
        RingBuffer* queue = &record->RecvQueue;
        if (record->RecvMissing == 0) {
            uint8_t length[4];
            if (WinAPITable.recv(record->Socket, (char*)length, 4, MSG_PEEK) != 4) return 0;
            WinAPITable.recv(record->Socket, (char*)length, 4, 0);
            const int32_t size = (int32_t)((uint32_t)length[0] | ((uint32_t)length[1] << 8) | ((uint32_t)length[2] << 16) | ((uint32_t)length[3] << 24));
            if (size < 0 || RingBuffer_Reserve(queue, size) != 0) {
                // A length no queue can hold breaks the connection's framing as surely as a
                // failed growth does.
                Log_AddFormatUTF16(L"受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %d byte)", size);
                record->Error = 1;
                return -1;
            }
            record->RecvMissing = size;
            record->RecvPacketSize = size;
        }

        if (queue->WritePosition == queue->Size) queue->WritePosition = 0;
        if (queue->ReadPosition == queue->Size) queue->ReadPosition = 0;
        const int32_t wanted = record->RecvMissing;
        int32_t received = 0;
        if (wanted > 0) {
            if (queue->WritePosition + wanted > queue->Size) {
                const int32_t first = queue->Size - queue->WritePosition;
                const int got = WinAPITable.recv(record->Socket, (char*)queue->Data + queue->WritePosition, first, 0);
                if (got == SOCKET_ERROR || got <= 0) return 0;
                received = got;
                queue->WritePosition += got;
                if (got == first) {
                    const int more = WinAPITable.recv(record->Socket, (char*)queue->Data, wanted - first, 0);
                    if (more == SOCKET_ERROR || more < 0) {
                        queue->WritePosition = 0;
                    } else {
                        received += more;
                        queue->WritePosition = more;
                    }
                }
            } else {
                const int got = WinAPITable.recv(record->Socket, (char*)queue->Data + queue->WritePosition, wanted, 0);
                if (got == SOCKET_ERROR || got <= 0) return 0;
                received = got;
                queue->WritePosition += got;
            }
        }
        queue->Stored += received;
        record->RecvMissing -= received;
        if (record->RecvMissing == 0) record->RecvCompleteBytes += record->RecvPacketSize;
        const int complete = record->RecvMissing == 0;
        if (Network_ProcessMessages(0) != 0 || received == 0 || !complete) return 0;
    }
}

int RecvSocket(HandleValue networkHandle)
{
    if (!NetworkState.Initialized) return -1;
    WinAPI_EnsureLoaded();
    Network_Lock();
    NetworkHandleRecord* record = Network_GetRecord(networkHandle);
    if (record == nullptr || record->Deferred || Network_ReceiveInProgress) {
        Network_Unlock();
        return -1;
    }
    Network_ReceiveInProgress = 1;
    Network_ProcessMessages(0);
    record = (NetworkHandleRecord*)Handle_GetRecord(networkHandle);
    int result = 0;
    if (record == nullptr) {
        result = -1;
    } else if (!record->Valid) {
        Log_AddTextUTF16(L"有効なネットワークハンドルではありません in RecvSocket\n");
        result = -1;
    } else if (record->Error) {
        Log_AddTextUTF16(L"このネットワークハンドルにはエラーが発生しています in RecvSocket\n");
        result = -1;
    } else if (record->PacketMode) {
        result = Network_ReceivePackets(networkHandle);
    }
    Network_ReceiveInProgress = 0;
    Network_Unlock();
    return result;
}

// Sends the queued data as packets; the caller holds the lock.
static void Network_SendPackets(HandleValue handle)
{
    for (;;) {
        NetworkHandleRecord* record = (NetworkHandleRecord*)Handle_GetRecord(handle);
        if (record == nullptr) return;
        RingBuffer* queue = &record->SendQueue;
        if (queue->Stored <= 0) return;

        uint8_t length[4];
        if (record->SendPrefixRemaining > 0) {
            Network_StoreLength(length, record->SendRemaining);
            const int rest = record->SendPrefixRemaining;
            const int sent = WinAPITable.send(record->Socket, (const char*)length + 4 - rest, rest, 0);
            if (sent == SOCKET_ERROR) return;
            record->SendPrefixRemaining -= sent;
            if (record->SendPrefixRemaining > 0) return;
        }
        if (record->SendRemaining == 0) {
            record->SendRemaining = queue->Stored;
            Network_StoreLength(length, record->SendRemaining);
            const int sent = WinAPITable.send(record->Socket, (const char*)length, 4, 0);
            if (sent == SOCKET_ERROR) {
                record->SendRemaining = 0;
                return;
            }
            if (sent < 4) {
                record->SendPrefixRemaining = 4 - sent;
                return;
            }
        }

        if (queue->ReadPosition == queue->Size) queue->ReadPosition = 0;
        if (queue->WritePosition == queue->Size) queue->WritePosition = 0;
        const int32_t remaining = record->SendRemaining;
        int32_t count;
        if (queue->ReadPosition + remaining > queue->Size) {
            const int32_t first = queue->Size - queue->ReadPosition;
            const int sent = WinAPITable.send(record->Socket, (const char*)queue->Data + queue->ReadPosition, first, 0);
            if (sent == SOCKET_ERROR) return;
            count = sent;
            if (sent == first) {
                const int more = WinAPITable.send(record->Socket, (const char*)queue->Data, remaining - first, 0);
                if (more == SOCKET_ERROR) {
                    queue->ReadPosition = 0;
                } else {
                    count += more;
                    queue->ReadPosition = more;
                }
            } else {
                queue->ReadPosition += sent;
            }
        } else {
            const int sent = WinAPITable.send(record->Socket, (const char*)queue->Data + queue->ReadPosition, remaining, 0);
            if (sent == SOCKET_ERROR) return;
            count = sent;
            queue->ReadPosition += sent;
        }
        queue->Stored -= count;
        record->SendRemaining -= count;
        const int complete = record->SendRemaining == 0;
        const int left = queue->Stored;
        if (Network_ProcessMessages(0) != 0 || count == 0 || !complete || left <= 0) return;
    }
}

int SendSocket(HandleValue networkHandle)
{
    if (!NetworkState.Initialized) return -1;
    WinAPI_EnsureLoaded();
    Network_Lock();
    NetworkHandleRecord* record = Network_GetRecord(networkHandle);
    if (record == nullptr || record->Deferred || Network_SendInProgress) {
        Network_Unlock();
        return -1;
    }
    Network_SendInProgress = 1;
    Network_ProcessMessages(0);
    record = (NetworkHandleRecord*)Handle_GetRecord(networkHandle);
    int result = 0;
    if (record == nullptr) {
        result = -1;
    } else if (!record->Valid) {
        Log_AddTextUTF16(L"有効なネットワークハンドルではありません in SendSocket\n");
        result = -1;
    } else if (record->Error) {
        Log_AddTextUTF16(L"このネットワークハンドルにはエラーが発生しています in SendSocket\n");
        result = -1;
    } else if (record->PacketMode) {
        Network_SendPackets(networkHandle);
    }
    Network_SendInProgress = 0;
    Network_Unlock();
    return result;
}

int32_t Network_OnSocketMessage(HWND window, UINT message, WPARAM socket, LPARAM event)
{
    Network_Lock();
    HandleManager* manager = Network_Manager();
    NetworkHandleRecord* record = nullptr;
    if (manager != nullptr) {
        for (HandleListNode* node = manager->LiveListStart.Next; node != &manager->LiveListEnd; node = node->Next) {
            NetworkHandleRecord* candidate = (NetworkHandleRecord*)node->Record;
            if (candidate->Socket == (SOCKET)socket) {
                record = candidate;
                break;
            }
        }
    }
    if (record == nullptr) {
        Network_Unlock();
        Log_AddTextUTF16(L"通信エラー No.1\n");
        return 0;
    }

    const int notification = (int)(event & 0xFFFF);
    const int errorCode = (int)((event >> 16) & 0xFFFF);
    const HandleValue handle = record->Header.Handle;
    if (record->Deferred) {
        if (notification == FD_READ) record->ReadPending = 1;
        if (notification == FD_WRITE) record->WritePending = 1;
    } else {
        switch (notification) {
        case FD_READ:
            RecvSocket(handle);
            break;
        case FD_WRITE:
            SendSocket(handle);
            break;
        case FD_ACCEPT: {
            const int result = AcceptNetWork();
            Network_Unlock();
            return result;
        }
        case FD_CONNECT:
            if (errorCode == 0) {
                record->Connected = 1;
                record->Connecting = 0;
            }
            break;
        case FD_CLOSE:
            record->Connected = 0;
            record->CloseDeletion = 0;
            break;
        default:
            break;
        }
    }
    Network_Unlock();
    return 1;
}

int Network_Terminate()
{
    if (!NetworkState.Initialized) return 0;
    WinAPI_EnsureLoaded();
    Network_Log(L"ネットワーク関連の終了処理を行います \n");
    if (NetworkState.Thread != nullptr) {
        NetworkState.ThreadStopRequest = 1;
        while (NetworkState.ThreadStopAck == 0) Thread_Sleep(1);
        WinAPITable.CloseHandle(NetworkState.Thread);
        NetworkState.Thread = nullptr;
    }
    Handle_Type_Shutdown(HandleType_Network);
    for (void*& buffer : NetworkState.WorkBuffer) {
        Memory_Free(buffer);
        buffer = nullptr;
    }
    if (NetworkState.Window != nullptr) {
        WinAPITable.PostMessageW(NetworkState.Window, WM_CLOSE, 0, 0);
        if (!NetworkState.NoPump) Network_DrainWindow();
    }
    memset((void*)&NetworkState, 0, sizeof(NetworkState));
    if (WinAPITable.WSACleanup != nullptr) WinAPITable.WSACleanup();
    Network_Log(L"ネットワーク関連の終了処理は完了しました\n");
    return 0;
}

}  // namespace Vantrel
